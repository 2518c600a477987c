// The transfers' window timers as the window's timer controls.
#pragma once

#include <memory>

#include "session/context.h"

namespace velk2 {

std::unique_ptr<WindowTimers> make_timer_controls(Context& ctx);

} // namespace velk2
