// The window `frm1`: its controls, the information panel, and the window's
// own event handlers.
#pragma once

#include "shell/context.h"

namespace velk2 {

// Creates the controls, timers and panel state of a fresh window (start-up
// step "window set-up"). Click and tick handlers are bound by wire_handlers.
void create_window(Context& ctx);

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

// Window timers on the platform's clock.
void timer_interval(Context& ctx, const std::string& name, int ms);
void timer_on(Context& ctx, const std::string& name, bool on);
bool timer_running(const Context& ctx, const std::string& name);

extern const char* const window_text;

} // namespace velk2
