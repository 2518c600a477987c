// One exchange on the port at a time. The service upload lets window events
// run between its pieces and the fuji operations once around their body, so
// a press of another button could otherwise start a second exchange that
// reopens the port under the first.
#pragma once

#include <string>

#include "shell/context.h"

namespace velk2 {

// What runs on the port now: "upload", "download" or "service" (the service
// upload or a fuji operation); "" when nothing does.
std::string running_exchange(const Context& ctx);

// Marks a service upload or fuji operation as running while it lives, however
// it ends (an error thrown by an event handler included).
class MonitorExchange {
  public:
    explicit MonitorExchange(Context& ctx) : ctx_(ctx) { ctx.service_running = true; }
    ~MonitorExchange() { ctx_.service_running = false; }
    MonitorExchange(const MonitorExchange&) = delete;
    MonitorExchange& operator=(const MonitorExchange&) = delete;

  private:
    Context& ctx_;
};

} // namespace velk2
