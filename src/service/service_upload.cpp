#include "service/service_upload.h"

#include <cstdint>
#include <cstdio>
#include <fstream>

#include "fuji/monitor_commands.h"
#include "platform/os_path.h"
#include "serial/hex_format.h"
#include "serial/port_connection.h"
#include "serial/primitives.h"
#include "serial/trace_files.h"
#include "service/service_pieces.h"
#include "session/exchange_guard.h"

namespace velk2 {

namespace {

// The monitor answers a ping or a speed switch well within these.
constexpr int switch_pause_ms = 440;
constexpr std::size_t switch_read_max = 100;
// A piece of 1024 bytes at 230400 baud takes some 45 ms to arrive.
constexpr int write_pause_ms = 110;
// A read-back reply: up to 1024 data bytes, then the status byte. At 38400
// baud a whole piece needs some 270 ms on the line, longer than the pause, so
// the rest of the reply is collected for up to a further second.
constexpr int read_pause_ms = 220;
constexpr std::int64_t read_collect_ms = 1000;

const std::string ok_status(1, '\0');

void diag(Context& ctx, const std::string& line) {
    ctx.platform.diag(line);
}

void diag_reply(Context& ctx, const std::string& label, const std::string& reply) {
    diag(ctx, reply_line(label, ctx.platform.seconds_since_midnight(), reply));
}

// Sends a command and takes what has come after the pause.
std::string exchange(Context& ctx, const std::string& command, int pause_ms, std::size_t max) {
    port_send(ctx, command);
    pause(ctx, pause_ms);
    return port_read(ctx, max);
}

// The reply to a mon_read of `length` bytes: the data, then the status byte.
// Taken once the pause is over, as far as it has come, then until it is
// whole, the line fails or the time is up; a part left unread would be taken
// for the next reply.
std::string take_read_reply(Context& ctx, std::size_t length) {
    const std::size_t whole = length + 1;
    pause(ctx, read_pause_ms);
    std::string reply = port_read(ctx, whole);
    const std::int64_t give_up = ctx.platform.monotonic_ms() + read_collect_ms;
    while (reply.size() < whole && ctx.port && ctx.port->is_open() && !port_lost(ctx) &&
           ctx.platform.monotonic_ms() < give_up)
        reply += port_read(ctx, whole - reply.size());
    return reply;
}

// The counter is printed over the field without clearing it first, so a
// shorter number leaves the end of a longer earlier one visible.
void show_counter(Context& ctx, std::size_t done) {
    ctx.report->byte_counter(static_cast<std::int64_t>(done));
    process_events(ctx);
}

std::string seconds_text(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", seconds);
    std::string s = text;
    s.erase(s.find_last_not_of('0') + 1);
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
}

// Up at 38400 baud, the monitor is switched to 230400 ("C#"); a monitor that
// answers the first ping with 0xFF alone is taken to be ready for it already.
bool box_switched_up(Context& ctx) {
    diag(ctx, hex_dump(mon_ping()));
    std::string reply = exchange(ctx, mon_ping(), switch_pause_ms, switch_read_max);
    diag_reply(ctx, "IN1:", reply);
    const std::string switched(1, '\xFF');
    if (reply == ping_reply(speed_38400)) {
        diag_reply(ctx, "IN2:", reply);
        reply = exchange(ctx, mon_speed(speed_230400), switch_pause_ms, switch_read_max);
        diag_reply(ctx, "IN3:", reply);
        diag(ctx, reply == switched ? "IN33:" : "IN333:");
        return reply == switched;
    }
    return reply == switched;
}

// The data goes out only in whole 4-byte words: the count byte cannot
// describe anything else.
bool data_refused(Context& ctx) {
    if (!ctx.upload_ready) {
        ctx.platform.message_box("The file " + ctx.upload_file +
                                     " could not be prepared; select a readable file.",
                                 "Service to Box");
        return true;
    }
    const std::size_t n = ctx.upload_data.size();
    if (service_data_ok(n)) return false;
    ctx.platform.message_box("The BIN file is " + std::to_string(n) +
                                 " bytes long. The box monitor takes whole 4-byte words "
                                 "only, so nothing was sent to the box.",
                             "Service to Box");
    return true;
}

// The reason stands in the communication field and the diagnostic output.
std::string not_opened(Context& ctx, const std::string& baud) {
    return ctx.com_port + " did not open at " + baud +
           " baud (the communication field says why). Nothing was written to the box.";
}

// The exchange; what went wrong, or "" when every piece was acknowledged.
std::string run_exchange(Context& ctx, const std::string& data) {
    diag(ctx, "38400");
    if (!port_open_plain(ctx, "38400")) return not_opened(ctx, "38400");
    if (!box_switched_up(ctx))
        return "The box monitor did not answer or did not switch to 230400 baud. Nothing was "
               "written to the box.";

    port_close(ctx);
    diag(ctx, "nagy");
    if (!port_open_plain(ctx, "230400")) return not_opened(ctx, "230400");
    const std::string reply = exchange(ctx, mon_ping(), switch_pause_ms, switch_read_max);
    diag_reply(ctx, "IN4:", reply);
    if (reply != ping_reply(speed_230400))
        return "The box monitor did not answer at 230400 baud. Nothing was written to the box.";

    const std::size_t written = service_write(ctx, data);
    const bool lost = port_lost(ctx);
    // Switched back even after a piece went wrong, so the box is at its
    // usual speed for the read-back.
    diag_reply(ctx,
               "IN5:", exchange(ctx, mon_speed(speed_38400), switch_pause_ms, switch_read_max));
    // The read-back still runs: what the box holds now is worth seeing.
    const std::string count =
        std::to_string(written) + " of " + std::to_string(data.size()) + " bytes were written.";
    // A write that ran out of time and a device that vanished look alike here.
    const std::string failure =
        written == data.size() ? std::string()
        : lost ? "The line to the box was lost (the port stopped taking bytes or went away: "
                 "adapter unplugged?): " +
                     count
               : "The box did not acknowledge the service data: " + count;

    port_close(ctx);
    if (!port_open_plain(ctx, "38400")) return failure;
    service_readback(ctx, data.size(), ctx.work_dir + "read2");
    return failure;
}

} // namespace

std::string reply_line(const std::string& label, double seconds, const std::string& reply) {
    return label + seconds_text(seconds) + " " + std::to_string(reply.size()) + " " +
           hex_dump(reply);
}

bool service_upload(Context& ctx) {
    const ExchangeGuard guard(ctx, Exchange::service);
    if (!guard || data_refused(ctx)) return false;
    port_close(ctx);
    ctx.report->redraw_panel();
    // Events run during the exchange and may choose another file: the
    // exchange keeps to the data it started with.
    const std::string data = ctx.upload_data;
    ctx.report->file_length(static_cast<std::int64_t>(data.size()));
    const std::string failure = run_exchange(ctx, data);
    port_close(ctx);
    // A service upload that did not reach the box must not look like one
    // that did.
    if (!failure.empty()) ctx.platform.message_box(failure, "Service to Box");
    return true;
}

std::size_t service_write(Context& ctx, const std::string& data) {
    std::size_t done = 0;
    for (const ServicePiece& piece : service_pieces(data.size())) {
        const std::string status =
            exchange(ctx, service_write_command(data, piece), write_pause_ms, switch_read_max);
        if (status != ok_status) return done;
        done += piece.length;
        show_counter(ctx, done);
    }
    // 0 to 3 bytes make no piece; there was nothing to acknowledge.
    return data.size() < 4 ? data.size() : done;
}

void service_readback(Context& ctx, std::size_t n, const std::string& name) {
    std::ofstream file(os_path(name), std::ios::binary | std::ios::trunc);
    if (!file) diag(ctx, name + " not written");
    const std::vector<std::string> commands = service_readback_commands(n);
    const std::vector<ServicePiece> pieces = service_pieces(n);
    std::size_t done = 0;
    for (std::size_t i = 0; i < commands.size(); ++i) {
        port_send(ctx, commands[i]);
        const std::string reply = take_read_reply(ctx, pieces[i].length);
        if (!reply.empty()) file.write(reply.data(), std::streamsize(reply.size() - 1));
        // A reply cut short has no status byte at its end: the bytes that
        // came are kept, but the read-back goes no further.
        if (reply.size() != pieces[i].length + 1 || reply.back() != '\0') return;
        done += pieces[i].length;
        show_counter(ctx, done);
    }
}

} // namespace velk2
