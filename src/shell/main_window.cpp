#include "shell/main_window.h"

#include <cstdlib>

#include "platform/timers.h"
#include "serial/port_connection.h"
#include "shell/panel.h"
#include "shell/window_layout.h"

namespace velk2 {

namespace {

void switch_off(Context& ctx, const char* timer) {
    timer_switch(ctx.window, timer, false, ctx.platform.monotonic_ms());
}

} // namespace

void Win_1_Close(Context& ctx) {
    ctx.platform.diag("close 1");
    port_close(ctx);
    ctx.platform.diag("close 2");
    ctx.quit_requested = true;
    ctx.platform.diag("close 3");
}

void tmrY_Timer(Context& ctx) {
    switch_off(ctx, control::tmrY);
}
void tmrY2_Timer(Context& ctx) {
    switch_off(ctx, control::tmrY2);
}
void tmrY4_Timer(Context& ctx) {
    ctx.timers->set_on(Timer::y4, false);
}

void tmrY3_Timer(Context& ctx) {
    Control& t = ctx.window.get(control::tmrY3);
    int left = std::atoi(t.text.c_str()) - 1;
    t.text = std::to_string(left);
    status_text(ctx, log_field, "wait STB input " + t.text + "-sec)");
}

} // namespace velk2
