#include "shell/main_window.h"

#include <cmath>
#include <cstdlib>

#include "platform/timers.h"
#include "serial/port_connection.h"
#include "shell/panel.h"
#include "shell/window_layout.h"

namespace velk2 {

const char* const window_text = "(Veveroduzir upload[to box] download[from box] )";

namespace {

void switch_off(Context& ctx, const char* timer) {
    timer_switch(ctx.window, timer, false, ctx.platform.monotonic_ms());
}

} // namespace

int port_number(const std::string& com_port) {
    // The numeric reading of the text from its 4th character: leading blanks,
    // a sign, digits and a decimal part; anything else ends the number.
    if (com_port.size() < 4) return 0;
    const char* s = com_port.c_str() + 3;
    while (*s == ' ') ++s;
    char* end = nullptr;
    double v = std::strtod(s, &end);
    if (end == s || !std::isfinite(v)) return 0;
    return int(std::nearbyint(v));
}

void Win_1_Activate(Context& ctx) {
    Window& w = ctx.window;
    const bool tall = ctx.window_heights[0] == 2;
    w.height_twips = ctx.window_heights[std::size_t(tall ? 2 : 1)];
    // The picture lies below the panel: in the short window its top would
    // show under the panel's last rows.
    w.get(picture_control).visible = tall;
    w.emphasis = true;
    for (const auto& l : panel_labels) print_at(w, l.column, l.row, l.text);
    w.emphasis = false;
    print_at(w, exe_name_field.column, exe_name_field.row, ctx.exe_name);
    print_at(w, cmd_arg_field.column, cmd_arg_field.row, ctx.cmd_arg);
    print_at(w, upload_file_field.column, upload_file_field.row, ctx.upload_file);
    print_at(w, comm_field.column, comm_field.row, ctx.com_port);
    print_at(w, counter_field.column, counter_field.row,
             std::string(std::size_t(counter_field.width), ' '));
    print_at(w, length_field.column, length_field.row,
             std::string(std::size_t(length_field.width), ' '));
    ctx.com_number = port_number(ctx.com_port);
}

void Win_1_Close(Context& ctx) {
    ctx.platform.diag("close 1");
    port_close(ctx);
    ctx.platform.diag("close 2");
    ctx.quit_requested = true;
    ctx.platform.diag("close 3");
}

void tmrY_Timer(Context& ctx) {
    switch_off(ctx, one_shot_timer);
}
void tmrY2_Timer(Context& ctx) {
    switch_off(ctx, one_shot_timer2);
}
void tmrY4_Timer(Context& ctx) {
    ctx.report->timer_on(Timer::y4, false);
}

void tmrY3_Timer(Context& ctx) {
    Control& t = ctx.window.get(countdown_timer);
    int left = std::atoi(t.text.c_str()) - 1;
    t.text = std::to_string(left);
    status_text(ctx, log_field, "wait STB input " + t.text + "-sec)");
}

} // namespace velk2
