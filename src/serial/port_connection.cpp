#include "serial/port_connection.h"

#include <fstream>

#include "serial/status_trace.h"

namespace velk2 {

namespace {

constexpr int comm_column = 28;
constexpr int comm_row = 11;
constexpr int comm_width = 40;

void blank_comm_field(Context& ctx) {
    Window& w = ctx.window;
    w.draw_colour = colour_black;
    grid_locate(w, comm_column, comm_row);
    grid_print(w, std::string(comm_width, ' '));
    w.draw_colour = colour_white;
}

void show_comm(Context& ctx, const std::string& text) {
    grid_locate(ctx.window, comm_column, comm_row);
    grid_print(ctx.window, text);
}

void set_ch1(Context& ctx, int value) {
    ctx.window.get("ch1").value = value;
    ++ctx.window.revision;
}

// Closes whatever the channel holds; errors are of no interest here.
void close_channel(Context& ctx) {
    if (ctx.port) ctx.port->close();
}

bool open_channel(Context& ctx, const std::string& baud) {
    if (!ctx.port) ctx.port = ctx.platform.new_port();
    return ctx.port->open(ctx.platform.device_for(ctx.com_port), baud);
}

bool save_line_record(const std::string& record) {
    std::ofstream f("dcb1", std::ios::binary | std::ios::trunc);
    f.write(record.data(), std::streamsize(record.size()));
    return bool(f);
}

} // namespace

std::string device_text(const Context& ctx, const std::string& baud) {
    return ctx.com_port + ":" + baud + ",n,8,1";
}

bool port_open(Context& ctx, const std::string& baud) {
    set_enabled(ctx.window, "cm1", true);
    set_enabled(ctx.window, "cm4", false);
    set_ch1(ctx, 0);
    blank_comm_field(ctx);
    close_channel(ctx);
    const std::string d = device_text(ctx, baud);
    trace_line(ctx, 1, "Open-I", d + " ");

    // A step that fails leaves the channel as it is; the next open or close
    // closes it.
    if (!open_channel(ctx, baud)) return false;
    if (!ctx.port->set_timeouts()) return false;
    std::string record;
    if (!ctx.port->read_line_record(record) || !save_line_record(record)) return false;
    if (!ctx.port->apply_line_settings(baud)) return false;
    set_ch1(ctx, 1);
    show_comm(ctx, ctx.com_port + " (OPEN) " + baud);
    set_enabled(ctx.window, "cm1", false);
    set_enabled(ctx.window, "cm4", true);
    trace_line(ctx, 2, "Open-O", d + " ");
    return true;
}

bool port_open_plain(Context& ctx, const std::string& baud) {
    // The delivered build has no "Service to Box": its enabling is a no-op.
    set_enabled(ctx.window, "cmbinup", true);
    set_enabled(ctx.window, "cm4", false);
    set_ch1(ctx, 0);
    blank_comm_field(ctx);
    close_channel(ctx);
    if (!open_channel(ctx, baud)) return false;
    set_ch1(ctx, 1);
    show_comm(ctx, ctx.com_port + " (OPEN) " + baud);
    set_enabled(ctx.window, "cmbinup", false);
    set_enabled(ctx.window, "cm4", true);
    return true;
}

void port_close(Context& ctx) {
    set_enabled(ctx.window, "cm1", true);
    set_enabled(ctx.window, "cm4", false);
    blank_comm_field(ctx);
    show_comm(ctx, ctx.com_port + " (CLOSED)");
    set_ch1(ctx, 0);
    close_channel(ctx);
}

void cm4_Click(Context& ctx) {
    port_close(ctx);
}

} // namespace velk2
