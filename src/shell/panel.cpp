#include "shell/panel.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "shell/number_format.h"

namespace velk2 {

namespace {

class PanelReport final : public WindowReport {
  public:
    explicit PanelReport(Context& ctx) : ctx_(ctx), w_(ctx.window) {}

    void redraw_panel() override { Win_1_Activate(ctx_); }
    void log(const std::string& text) override { status_text(ctx_, log_field, text); }
    void file_length(std::int64_t bytes) override {
        status_text(ctx_, length_field, format_length(bytes));
    }
    void clear_byte_counter() override {
        status_text(ctx_, counter_field, std::string(std::size_t(counter_field.width), ' '));
    }
    void byte_counter(std::int64_t bytes) override {
        print_at(w_, counter_field.column, counter_field.row, std::to_string(bytes));
    }
    void upload_size(std::int64_t bytes) override {
        w_.get(control::upload_size).text = std::to_string(bytes);
    }
    void port_state(const std::string& text) override {
        // A reason for a failed open may run past the field: blank it all.
        w_.draw_colour = colour_black;
        print_at(w_, comm_field.column, comm_field.row, std::string(port_cells_, ' '));
        w_.draw_colour = colour_white;
        if (!text.empty()) print_at(w_, comm_field.column, comm_field.row, text);
        port_cells_ = std::max(std::size_t(comm_field.width), text.size());
    }
    void port_flag(bool open) override {
        w_.get(control::port_flag).value = open ? 1 : 0;
        ++w_.revision;
    }
    // The delivered build has no service buttons: changing them is a no-op.
    void enable(Button button, bool on) override { set_enabled(w_, button_name(button), on); }
    void caption(Button button, const std::string& text) override {
        set_caption(w_, button_name(button), text);
    }
    void title(const std::string& text) override {
        w_.title = text;
        ++w_.revision;
    }

  private:
    Context& ctx_;
    Window& w_;
    std::size_t port_cells_ = std::size_t(comm_field.width); // what the next state blanks
};

} // namespace

void status_text(Context& ctx, int column, int row, int width, const std::string& text) {
    ctx.platform.diag("\t\t" + text);
    Window& w = ctx.window;
    w.draw_colour = colour_black;
    print_at(w, column, row, std::string(std::size_t(width), ' '));
    w.draw_colour = colour_white;
    print_at(w, column, row, text);
}

void status_text(Context& ctx, const Field& field, const std::string& text) {
    status_text(ctx, field.column, field.row, field.width, text);
}

void print_at(Window& w, int column, int row, const std::string& text) {
    grid_locate(w, column, row);
    grid_print(w, text);
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
    w.get(control::picture).visible = tall;
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

std::unique_ptr<WindowReport> make_panel_report(Context& ctx) {
    return std::make_unique<PanelReport>(ctx);
}

} // namespace velk2
