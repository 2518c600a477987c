// One exchange on the port at a time. The download's header wait, the upload's
// waits, the service upload and the fuji operations let window events run with
// the port open, so a press of another button could otherwise start a second
// exchange that reopens the port under the first.
#pragma once

#include "session/context.h"

namespace velk2 {

// Takes the port for one exchange while it lives, however the exchange ends
// (an error thrown by an event handler included). When another exchange holds
// the port, nothing is taken: the guard is false and one diagnostic line
// ("upload running", "download running", ...) says what runs.
class ExchangeGuard {
  public:
    ExchangeGuard(Context& ctx, Exchange exchange);
    ~ExchangeGuard();
    ExchangeGuard(const ExchangeGuard&) = delete;
    ExchangeGuard& operator=(const ExchangeGuard&) = delete;

    explicit operator bool() const { return taken_; }

    // For a press that must not even test the port while another exchange
    // runs: true, and the diagnostic line, when one does.
    static bool refuses(Context& ctx);

  private:
    Context& ctx_;
    bool taken_ = false;
};

} // namespace velk2
