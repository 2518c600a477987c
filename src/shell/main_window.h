// The window frm1's own event handlers: activation (the panel redraw), the
// close box and the one-shot timers.
#pragma once

#include <string>

#include "session/context.h"

namespace velk2 {

// Redraws the information panel and recomputes `com_number`.
void Win_1_Activate(Context& ctx);
// The close box: closes the port and asks the main loop to end.
void Win_1_Close(Context& ctx);

// One-shot timers: each switches itself off.
void tmrY_Timer(Context& ctx);
void tmrY2_Timer(Context& ctx);
void tmrY4_Timer(Context& ctx);
// Countdown shown in the log field; no operation ever starts this timer.
void tmrY3_Timer(Context& ctx);

// `com_port` from its 4th character on as a number ("COM7" gives 7).
int port_number(const std::string& com_port);

extern const char* const window_text;

} // namespace velk2
