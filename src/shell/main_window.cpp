#include "shell/main_window.h"

#include <cmath>
#include <cstdlib>

#include "platform/timers.h"
#include "serial/port_connection.h"
#include "serial/status_trace.h"

namespace velk2 {

const char* const window_text = "(Veveroduzir upload[to box] download[from box] )";

namespace {

Control timer(const char* name, int interval_ms) {
    Control c;
    c.name = name;
    c.kind = ControlKind::timer;
    c.interval_ms = interval_ms;
    c.on = true; // a window timer starts enabled; without an interval it never ticks
    return c;
}

struct PanelLabel {
    int column, row;
    const char* text;
};

constexpr PanelLabel panel_labels[] = {
    {2, 8, "Exe filename            :"},  {2, 9, "Commandline   (_DOSCMD$):"},
    {2, 10, "upload filename         :"}, {2, 11, "Communication parameters:"},
    {2, 12, "Upload information (LOG):"}, {49, 12, "Upload size:"},
    {70, 12, "         Filelenght:"},
};

void print_at(Window& w, int column, int row, const std::string& text) {
    grid_locate(w, column, row);
    grid_print(w, text);
}

} // namespace

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
}

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
    w.get("im1").visible = tall;
    w.emphasis = true;
    for (const auto& l : panel_labels) print_at(w, l.column, l.row, l.text);
    w.emphasis = false;
    print_at(w, 28, 8, ctx.exe_name);
    print_at(w, 28, 9, ctx.cmd_arg);
    print_at(w, 28, 10, ctx.upload_file);
    print_at(w, 28, 11, ctx.com_port);
    print_at(w, 62, 12, std::string(7, ' '));
    print_at(w, 91, 12, std::string(9, ' '));
    ctx.com_number = port_number(ctx.com_port);
}

void Win_1_Close(Context& ctx) {
    ctx.platform.diag("close 1");
    port_close(ctx);
    ctx.platform.diag("close 2");
    ctx.quit_requested = true;
    ctx.platform.diag("close 3");
}

void timer_interval(Context& ctx, const std::string& name, int ms) {
    timer_set_interval(ctx.window, name, ms, ctx.platform.monotonic_ms());
}

void timer_on(Context& ctx, const std::string& name, bool on) {
    timer_switch(ctx.window, name, on, ctx.platform.monotonic_ms());
}

bool timer_running(const Context& ctx, const std::string& name) {
    return timer_is_on(ctx.window, name);
}

void tmrY_Timer(Context& ctx) {
    timer_on(ctx, "tmrY", false);
}
void tmrY2_Timer(Context& ctx) {
    timer_on(ctx, "tmrY2", false);
}
void tmrY4_Timer(Context& ctx) {
    timer_on(ctx, "tmrY4", false);
}

void tmrY3_Timer(Context& ctx) {
    Control& t = ctx.window.get("tmrY3");
    int left = std::atoi(t.text.c_str()) - 1;
    t.text = std::to_string(left);
    status_text(ctx, 28, 12, 20, "wait STB input " + t.text + "-sec)");
}

} // namespace velk2
