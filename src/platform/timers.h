// Window timers over the platform's monotonic clock: an interval, an on/off
// state and a tick handler that runs inside event processing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/window_model.h"

namespace velk2 {

// Setting the interval or switching a timer on starts a new interval.
void timer_set_interval(Window& w, const std::string& name, int ms, std::int64_t now_ms);
void timer_switch(Window& w, const std::string& name, bool on, std::int64_t now_ms);
bool timer_is_on(const Window& w, const std::string& name);

// Runs the handler of every timer whose interval has elapsed (one tick per
// timer and call, as a window coalesces late ticks). Returns the tick count.
int run_due_timers(Window& w, std::int64_t now_ms);

// The earliest pending tick, if any timer is on.
std::optional<std::int64_t> next_timer_due(const Window& w);

} // namespace velk2
