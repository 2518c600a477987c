// The window frm1's own event handlers: the close box and the one-shot timers
// (the activation handler redraws the panel: see panel.h).
#pragma once

#include <string>

#include "session/context.h"

namespace velk2 {

// The close box: closes the port and asks the main loop to end.
void Win_1_Close(Context& ctx);

// One-shot timers: each switches itself off.
void tmrY_Timer(Context& ctx);
void tmrY2_Timer(Context& ctx);
void tmrY4_Timer(Context& ctx);
// Countdown shown in the log field; no operation ever starts this timer.
void tmrY3_Timer(Context& ctx);

} // namespace velk2
