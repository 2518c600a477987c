#include "shell/window_setup.h"

#include "download/download_timers.h"
#include "shell/file_selection.h"
#include "shell/handlers.h"
#include "shell/main_window.h"
#include "shell/panel.h"
#include "shell/timer_controls.h"
#include "shell/window_layout.h"

namespace velk2 {

namespace {

void on_click(Context& ctx, const char* name, void (*handler)(Context&)) {
    if (auto* c = ctx.window.find(name)) c->on_click = [&ctx, handler] { handler(ctx); };
}

void on_tick(Context& ctx, const char* name, void (*handler)(Context&)) {
    if (auto* c = ctx.window.find(name)) c->on_tick = [&ctx, handler] { handler(ctx); };
}

} // namespace

void create_window(Context& ctx) {
    Window& w = ctx.window;
    const std::int64_t now = ctx.platform.monotonic_ms();
    w.width_twips = 12000;
    w.title = ctx.process.program_path;
    w.height_twips = ctx.window_heights[std::size_t(ctx.window_heights[0])];

    for (const TimerSpec& t : timers) {
        Control c;
        c.name = t.name;
        c.kind = ControlKind::timer;
        c.interval_ms = t.interval_ms;
        c.on = true; // a window timer starts enabled; without an interval it never ticks
        c.due_ms = now + t.interval_ms;
        w.add(c);
    }
    for (const HolderSpec& h : holders) w.add(holder_control(h.name, h.kind));
    for (const PlacedSpec& p : placed) {
        if (p.service_only && !ctx.service_mode) continue;
        w.add(
             placed_control(p.name, p.kind, p.left, p.top, p.width, p.height, p.caption, p.enabled))
            .level = p.level;
    }
    Control& speed = w.get(control::speed);
    speed.value = 1;
    speed.tool_tip = speed_tool_tip;
    // Shown only in the tall window (see Win_1_Activate).
    w.get(control::picture).visible = ctx.window_heights[0] == 2;

    w.draw_colour = colour_white;
    w.emphasis = false;
    w.text = window_text;
    ++w.revision;
    ctx.report = make_panel_report(ctx);
    ctx.timers = make_timer_controls(ctx);
}

void wire_handlers(Context& ctx) {
    on_click(ctx, control::upload, cm1_Click);
    on_click(ctx, control::dsp_select, cm2_Click);
    on_click(ctx, control::jpg_select, cm3_Click);
    on_click(ctx, control::bin_select, cmbin_Click);
    on_click(ctx, control::stop, cm4_Click);
    on_click(ctx, control::download, cg1_Click);
    on_click(ctx, control::service, cmbinup_Click);
    on_click(ctx, control::getfuji, cmgetfuji_Click);
    on_click(ctx, control::live, cmchgfuji_Click);
    on_click(ctx, control::def, cmdeffuji_Click);
    on_click(ctx, control::put, cmputfuji_Click);

    on_tick(ctx, control::tmrY, tmrY_Timer);
    on_tick(ctx, control::tmrY2, tmrY2_Timer);
    on_tick(ctx, control::tmrY3, tmrY3_Timer);
    on_tick(ctx, control::tmrY4, tmrY4_Timer);
    on_tick(ctx, control::tmrR1, tmrR1_Timer);
    on_tick(ctx, control::tmrR2, tmrR2_Timer);
    on_tick(ctx, control::tmrR3, tmrR3_Timer);
    on_tick(ctx, control::tmrR4, tmrR4_Timer);

    ctx.window.on_close = [&ctx] { Win_1_Close(ctx); };
    ctx.window.on_activate = [&ctx] { Win_1_Activate(ctx); };
}

} // namespace velk2
