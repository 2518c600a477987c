// The one order in which every front end runs its events: the end-signal
// check, the window brought in line with its model, the front end's events
// delivered, an error of a handler they ran thrown again, the end-signal
// check, the window timers that are due, and the window brought in line
// again. A front end supplies only how it presents the model and how it
// delivers its events; a front end without a window presents nothing and
// delivers by waiting for the next timer or an end signal.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>

#include "platform/handler_errors.h"
#include "platform/platform.h"
#include "platform/window_model.h"

namespace velk2 {

class EventPump {
  public:
    struct FrontEnd {
        // Brings what the user sees in line with the window model.
        std::function<void()> present;
        // Delivers the pending events. When there are none, first waits for
        // one until the monotonic clock reads `until_ms` (no limit when
        // unset; no wait once that time has come). False when no event can
        // come any more.
        std::function<bool(std::optional<std::int64_t> until_ms)> deliver;
    };

    // `platform` gives the clock and the end-signal check.
    EventPump(Platform& platform, FrontEnd front_end)
        : platform_(platform), front_end_(std::move(front_end)) {}

    // The window whose timers run here.
    void attach(Window& window) { window_ = &window; }
    // Runs a handler for the front end's delivery: an error it throws must
    // not pass through the window system, and is thrown again by the call
    // that delivered it.
    void run_handler(const std::function<void()>& handler) { errors_.run(handler); }

    // Runs the pending events once without waiting.
    void process_events();
    // Waits for the next event or timer tick and runs it. False once the
    // window is gone, or when no event can come any more.
    bool wait_event();

  private:
    void after_delivery();

    Platform& platform_;
    FrontEnd front_end_;
    Window* window_ = nullptr;
    HandlerErrors errors_;
};

} // namespace velk2
