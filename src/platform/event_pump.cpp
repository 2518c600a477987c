#include "platform/event_pump.h"

#include "platform/timers.h"

namespace velk2 {

void EventPump::process_events() {
    platform_.check_interrupt();
    front_end_.present();
    front_end_.deliver(platform_.monotonic_ms());
    after_delivery();
}

bool EventPump::wait_event() {
    platform_.check_interrupt();
    if (!window_ || !window_->exists) return false;
    front_end_.present();
    if (!front_end_.deliver(next_timer_due(*window_))) return false;
    after_delivery();
    return window_->exists;
}

void EventPump::after_delivery() {
    errors_.rethrow();
    platform_.check_interrupt();
    // Timers keep ticking after the window has closed: a download that is
    // still running needs them until it ends.
    if (window_) run_due_timers(*window_, platform_.monotonic_ms());
    front_end_.present();
}

} // namespace velk2
