#include "shell/window_layout.h"

#include "download/download_timers.h"
#include "shell/file_selection.h"
#include "shell/handlers.h"
#include "shell/main_window.h"
#include "shell/panel.h"

namespace velk2 {

namespace {

Control timer(const char* name, int interval_ms) {
    Control c;
    c.name = name;
    c.kind = ControlKind::timer;
    c.interval_ms = interval_ms;
    c.on = true; // a window timer starts enabled; without an interval it never ticks
    return c;
}

void on_click(Context& ctx, const char* name, void (*handler)(Context&)) {
    if (auto* c = ctx.window.find(name)) c->on_click = [&ctx, handler] { handler(ctx); };
}

void on_tick(Context& ctx, const char* name, void (*handler)(Context&)) {
    if (auto* c = ctx.window.find(name)) c->on_tick = [&ctx, handler] { handler(ctx); };
}

} // namespace

const char* button_name(Button button) {
    switch (button) {
    case Button::upload:
        return "cm1";
    case Button::download:
        return "cg1";
    case Button::service:
        return "cmbinup";
    case Button::stop:
        return "cm4";
    case Button::getfuji:
        return "cmgetfuji";
    case Button::live:
        return "cmchgfuji";
    case Button::def:
        return "cmdeffuji";
    case Button::put:
        return "cmputfuji";
    }
    return "";
}

const char* timer_name(Timer timer) {
    switch (timer) {
    case Timer::y4:
        return "tmrY4";
    case Timer::r1:
        return "tmrR1";
    case Timer::r2:
        return "tmrR2";
    case Timer::r3:
        return "tmrR3";
    case Timer::r4:
        return "tmrR4";
    }
    return "";
}

void create_window(Context& ctx) {
    Window& w = ctx.window;
    const std::int64_t now = ctx.platform.monotonic_ms();
    w.width_twips = 12000;
    w.title = ctx.process.program_path;
    w.height_twips = ctx.window_heights[std::size_t(ctx.window_heights[0])];

    for (const char* name : {"tmrY", "tmrY2", "tmrY3", "tmrY4", "tmrR1", "tmrR2"})
        w.add(timer(name, 0));
    w.add(timer("tmrR3", 1000));
    w.add(timer("tmrR4", 5000));
    for (auto& c : w.controls)
        if (c.kind == ControlKind::timer) c.due_ms = now + c.interval_ms;

    w.add(holder_control("ch1", ControlKind::check_box));
    w.add(holder_control("lbl4", ControlKind::label));
    w.add(holder_control("lbl2", ControlKind::label));

    using K = ControlKind;
    w.add(placed_control("cm1", K::button, 0, 50, 600, 25, "Upload to Box", false));
    w.add(placed_control("cg1", K::button, 600, 50, 200, 25, "Download from Box", true));
    if (ctx.service_mode) {
        w.add(placed_control("cmbinup", K::button, 0, 50, 100, 25, "Service to Box", false));
        w.add(placed_control("cmgetfuji", K::button, 100, 50, 50, 25, "Getfuji", true));
        w.add(placed_control("cmchgfuji", K::button, 150, 50, 50, 25, "fuji Live", true));
        w.add(placed_control("cmdeffuji", K::button, 200, 50, 50, 25, "fuji Def", true));
        w.add(placed_control("cmputfuji", K::button, 250, 50, 50, 25, "fuji Put", true));
    }
    Control& speed =
        w.add(placed_control("speed", K::check_box, 5, 52, 120, 21, "230400-baudrate", true));
    speed.value = 1;
    speed.tool_tip = "The turbomode (230400) use only if run(R3e558zu<) firmware";
    w.add(placed_control("cm2", K::button, 0, 0, 800, 25, "*.DSP File select", true));
    if (ctx.service_mode)
        w.add(placed_control("cmbin", K::button, 0, 0, 100, 25, "*.BIN File service", true));
    w.add(placed_control("cm3", K::button, 0, 25, 800, 25, "*.JPG File select   (Welcome screen)",
                         true));
    w.add(placed_control("cm4", K::button, 0, 75, 800, 25, "STOP upload", false));
    // Shown only in the tall window (see Win_1_Activate).
    w.add(placed_control("im1", K::image, 0, 182, 430, 350, "", true)).visible =
        ctx.window_heights[0] == 2;

    w.draw_colour = colour_white;
    w.emphasis = false;
    w.text = window_text;
    ++w.revision;
    ctx.report = make_panel_report(ctx);
}

void wire_handlers(Context& ctx) {
    on_click(ctx, "cm1", cm1_Click);
    on_click(ctx, "cm2", cm2_Click);
    on_click(ctx, "cm3", cm3_Click);
    on_click(ctx, "cmbin", cmbin_Click);
    on_click(ctx, "cm4", cm4_Click);
    on_click(ctx, "cg1", cg1_Click);
    on_click(ctx, "cmbinup", cmbinup_Click);
    on_click(ctx, "cmgetfuji", cmgetfuji_Click);
    on_click(ctx, "cmchgfuji", cmchgfuji_Click);
    on_click(ctx, "cmdeffuji", cmdeffuji_Click);
    on_click(ctx, "cmputfuji", cmputfuji_Click);

    on_tick(ctx, "tmrY", tmrY_Timer);
    on_tick(ctx, "tmrY2", tmrY2_Timer);
    on_tick(ctx, "tmrY3", tmrY3_Timer);
    on_tick(ctx, "tmrY4", tmrY4_Timer);
    on_tick(ctx, "tmrR1", tmrR1_Timer);
    on_tick(ctx, "tmrR2", tmrR2_Timer);
    on_tick(ctx, "tmrR3", tmrR3_Timer);
    on_tick(ctx, "tmrR4", tmrR4_Timer);

    ctx.window.on_close = [&ctx] { Win_1_Close(ctx); };
    ctx.window.on_activate = [&ctx] { Win_1_Activate(ctx); };
}

} // namespace velk2
