#include "serial/port_connection.h"

#include <fstream>

#include "platform/os_path.h"
#include "serial/trace_files.h"

namespace velk2 {

namespace {

// Closes whatever the channel holds; errors are of no interest here.
void close_channel(Context& ctx) {
    if (ctx.port) ctx.port->close();
}

bool open_channel(Context& ctx, const std::string& baud) {
    if (!ctx.port) ctx.port = ctx.platform.new_port();
    return ctx.port->open(ctx.platform.device_for(ctx.com_port), baud);
}

bool save_line_record(const std::string& path, const std::string& record) {
    std::ofstream f(os_path(path), std::ios::binary | std::ios::trunc);
    f.write(record.data(), std::streamsize(record.size()));
    return bool(f);
}

} // namespace

std::string device_text(const Context& ctx, const std::string& baud) {
    return ctx.com_port + ":" + baud + ",n,8,1";
}

bool port_open(Context& ctx, const std::string& baud) {
    WindowReport& r = *ctx.report;
    r.enable(Button::upload, true);
    r.enable(Button::stop, false);
    r.port_flag(false);
    r.port_state("");
    close_channel(ctx);
    const std::string d = device_text(ctx, baud);
    trace_line(ctx, 1, "Open-I", d + " ");

    // A step that fails leaves the channel as it is; the next open or close
    // closes it.
    if (!open_channel(ctx, baud)) return false;
    if (!ctx.port->set_timeouts()) return false;
    std::string record;
    if (!ctx.port->read_line_record(record) || !save_line_record(ctx.work_dir + "dcb1", record))
        return false;
    if (!ctx.port->apply_line_settings(baud)) return false;
    r.port_flag(true);
    r.port_state(ctx.com_port + " (OPEN) " + baud);
    r.enable(Button::upload, false);
    r.enable(Button::stop, true);
    trace_line(ctx, 2, "Open-O", d + " ");
    return true;
}

bool port_open_plain(Context& ctx, const std::string& baud) {
    WindowReport& r = *ctx.report;
    r.enable(Button::service, true);
    r.enable(Button::stop, false);
    r.port_flag(false);
    r.port_state("");
    close_channel(ctx);
    if (!open_channel(ctx, baud)) return false;
    r.port_flag(true);
    r.port_state(ctx.com_port + " (OPEN) " + baud);
    r.enable(Button::service, false);
    r.enable(Button::stop, true);
    return true;
}

void port_close(Context& ctx) {
    WindowReport& r = *ctx.report;
    r.enable(Button::upload, true);
    r.enable(Button::stop, false);
    r.port_state(ctx.com_port + " (CLOSED)");
    r.port_flag(false);
    close_channel(ctx);
}

} // namespace velk2
