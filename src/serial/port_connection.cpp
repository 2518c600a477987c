#include "serial/port_connection.h"

#include <cctype>
#include <fstream>

#include "platform/os_path.h"
#include "serial/trace_files.h"

namespace velk2 {

namespace {

void set_port_flag(Context& ctx, bool open) {
    ctx.port_flag = open;
    ctx.report->port_flag(open);
}

// Closes whatever the channel holds; errors are of no interest here.
void close_channel(Context& ctx) {
    if (ctx.port) ctx.port->close();
}

// "Permission denied" becomes "permission denied"; a word in capitals stays.
std::string short_reason(std::string reason) {
    if (reason.size() > 1 && std::isupper(static_cast<unsigned char>(reason[0])) &&
        std::islower(static_cast<unsigned char>(reason[1])))
        reason[0] = char(std::tolower(static_cast<unsigned char>(reason[0])));
    return reason;
}

// A port that does not open says why, so that a wrong port is not taken for
// a dead box: the port, the device and the reason in the communication
// field, and with the remedy on the diagnostic output.
bool refused(Context& ctx, const std::string& device, const std::string& reason,
             const std::string& group = "") {
    ctx.report->port_state(ctx.com_port + " " + device + ": " + short_reason(reason));
    std::string line = ctx.com_port + " " + device + " did not open: " + reason;
    if (!group.empty()) {
        const std::string join = "sudo usermod -aG " + group + " $USER";
        line += ". Only members of group " + group + " may use it: add the user (" + join +
                ") and log in again";
    }
    ctx.platform.diag(line);
    return false;
}

bool open_channel(Context& ctx, const std::string& baud, std::string& device) {
    if (!ctx.port) ctx.port = ctx.platform.new_port();
    const PortMapping m = ctx.platform.map_port(ctx.com_port);
    device = m.device;
    if (!m.problem.empty()) return refused(ctx, device, m.problem);
    if (ctx.port->open(device, baud)) {
        if (const std::string note = ctx.port->open_note(); !note.empty())
            ctx.platform.diag(ctx.com_port + " " + device + ": " + note);
        return true;
    }
    return refused(ctx, device, ctx.port->open_error(), ctx.port->denied_group());
}

// The communication field of an open port; an adapter that holds every
// reply gets a short mark there (its hint is on the diagnostic output).
std::string open_state(const Context& ctx, const std::string& baud) {
    std::string state = ctx.com_port + " (OPEN) " + baud;
    if (const auto ms = ctx.port->slow_adapter_ms())
        state += ", adapter " + std::to_string(*ms) + " ms";
    return state;
}

bool save_line_record(const std::string& path, const std::string& record) {
    std::ofstream f(os_path(path), std::ios::binary | std::ios::trunc);
    f.write(record.data(), std::streamsize(record.size()));
    return bool(f);
}

// The line record is a debugging aid that nothing reads back: a folder where
// it cannot be written (read-only, full) costs the record, never the port.
// Said once a run, since the download reopens the port four times a second.
void keep_line_record(Context& ctx, const std::string& record) {
    const std::string path = ctx.work_dir + "dcb1";
    if (save_line_record(path, record) || ctx.line_record_told) return;
    ctx.line_record_told = true;
    ctx.platform.diag("dcb1 not written: " + path +
                      " cannot be written; the port opens all the same");
}

} // namespace

std::string device_text(const Context& ctx, const std::string& baud) {
    return ctx.com_port + ":" + baud + ",n,8,1";
}

bool port_open(Context& ctx, const std::string& baud) {
    WindowReport& r = *ctx.report;
    r.enable(Button::upload, true);
    r.enable(Button::stop, false);
    set_port_flag(ctx, false);
    r.port_state("");
    close_channel(ctx);
    const std::string d = device_text(ctx, baud);
    trace_line(ctx, 1, "Open-I", d + " ");

    // A step that fails leaves the channel as it is; the next open or close
    // closes it.
    std::string device;
    if (!open_channel(ctx, baud, device)) return false;
    // A set-up step that does not take says what did not.
    std::string record;
    if (!ctx.port->set_timeouts() || !ctx.port->read_line_record(record))
        return refused(ctx, device, ctx.port->open_error());
    keep_line_record(ctx, record);
    if (!ctx.port->apply_line_settings(baud)) return refused(ctx, device, ctx.port->open_error());
    set_port_flag(ctx, true);
    r.port_state(open_state(ctx, baud));
    r.enable(Button::upload, false);
    r.enable(Button::stop, true);
    trace_line(ctx, 2, "Open-O", d + " ");
    return true;
}

bool port_open_plain(Context& ctx, const std::string& baud) {
    WindowReport& r = *ctx.report;
    r.enable(Button::service, true);
    r.enable(Button::stop, false);
    set_port_flag(ctx, false);
    r.port_state("");
    close_channel(ctx);
    std::string device;
    if (!open_channel(ctx, baud, device)) return false;
    set_port_flag(ctx, true);
    r.port_state(open_state(ctx, baud));
    r.enable(Button::service, false);
    r.enable(Button::stop, true);
    return true;
}

void port_close(Context& ctx) {
    WindowReport& r = *ctx.report;
    r.enable(Button::upload, true);
    r.enable(Button::stop, false);
    r.port_state(ctx.com_port + " (CLOSED)");
    set_port_flag(ctx, false);
    close_channel(ctx);
}

} // namespace velk2
