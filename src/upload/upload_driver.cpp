#include "upload/upload_driver.h"

#include <fstream>
#include <string_view>

#include "platform/os_path.h"
#include "serial/hex_format.h"
#include "serial/port_connection.h"
#include "serial/primitives.h"
#include "serial/trace_files.h"
#include "session/exchange_guard.h"
#include "session/files.h"
#include "session/settings.h"
#include "upload/stream_sender.h"
#include "upload/upload_limits.h"
#include "upload/ymodem_stream.h"

namespace velk2 {

namespace {

const char* const first_baud = "230400";
const char* const upload_title = "Upload to Box";
const char* const fallback_baud = "115200";
// One "C" sent by a box at 115200 baud, as a port set to 230400 baud 8N1
// samples it: the box talks at the lower rate.
constexpr std::string_view c_at_115200{"\x1E\xFE", 2};
constexpr std::string_view c_request{&ymodem_c, 1};
// The start of every wrapped welcome picture ("rom.dsp").
constexpr std::string_view picture_mark{"::::::::::::::::DIVAREVO20060410"};

void show_log(Context& ctx, const std::string& text) {
    ctx.report->log(text);
}

// Debug files are a help, never a reason to stop: a failed write is skipped.
void write_debug_file(Context& ctx, const char* name, const std::string& bytes) {
    std::ofstream f(os_path(ctx.work_dir + name), std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), std::streamsize(bytes.size()));
}

// What is left of an upload once it is over, however it ended.
void release_upload(Context& ctx) {
    ctx.transfer_state = 0;
    if (ctx.quit_after_upload) ctx.quit_requested = true;
}

// One upload from its stream to its end steps. The end steps run on every
// way out, an error thrown by an event handler inside a wait included, so the
// port is always closed and the stream freed when the driver returns. The log
// field keeps its last text ("done", "time end", where a transfer failed):
// blanked, a failed upload would look like a finished one.
class UploadRun {
  public:
    explicit UploadRun(Context& ctx) : ctx_(ctx) {}
    ~UploadRun() {
        trace_line(ctx_, 10, "exit", "");
        stream = Stream{};
        port_close(ctx_);
        release_upload(ctx_);
    }
    UploadRun(const UploadRun&) = delete;
    UploadRun& operator=(const UploadRun&) = delete;

    Stream stream;

  private:
    Context& ctx_;
};

void prepare(Context& ctx, Stream& stream) {
    store_setting(ctx, "LAST", "UPFILE", ctx.upload_file);
    trace_reset(ctx);
    ctx.report->redraw_panel();
    ctx.report->file_length(static_cast<std::int64_t>(ctx.upload_data.size()));
    show_log(ctx, "file prepare");
    if (ctx.upload_debug) {
        write_debug_file(ctx, "out.dsp", ctx.upload_data);
        write_debug_file(ctx, "Pout.dsp", {});
        write_debug_file(ctx, "Pin.dsp", {});
        ctx.platform.diag("letstreamI");
    }
    stream = letstream(ctx.upload_data, ctx.upload_file);
    ctx.report->upload_size(static_cast<std::int64_t>(ctx.upload_data.size()));
    if (ctx.upload_debug) ctx.platform.diag("letstreamO");
    trace_line(ctx, 0, "Start", " ");
    trace_block(ctx, 0, ctx.iui);
    show_log(ctx, "periferial open");
}

// Block 0 out; its reply in `iui` after the fixed pause. True for ACK.
bool send_block0(Context& ctx, const Stream& stream) {
    port_send(ctx, std::string(stream_packet(stream, 1)));
    pause(ctx, block0_reply_pause_ms);
    ctx.iui = port_read(ctx, 2);
    trace_block(ctx, 4, ctx.iui);
    return !ctx.iui.empty() && ctx.iui[0] == ymodem_ack;
}

void send_stream(Context& ctx, const Stream& stream) {
    trace_line(ctx, 8, "ap_send-I", "");
    ctx.upload_done = ap_send(ctx, stream);
    if (ctx.upload_done) ctx.upload_done_in_run = true;
    trace_line(ctx, 9, "ap_send-O", "");
}

// How the handshake ended: the box never asked for the file within its time
// ("time end" after the wait ran out), or any other way.
enum class Handshake { other, box_silent };

// "time end" comes from a reply to block 0 that was no ACK, the abort test,
// STOP, or the wait that ran out on an open port.
enum class WaitEnd { fall_back, stream_sent, time_end, ran_out };

// A box that was not ready at the first listen gets 5 seconds on tmrY4 to ask
// with a single "C"; events run meanwhile, so STOP and the abort test work.
WaitEnd wait_for_c(Context& ctx, const Stream& stream, const std::string& baud) {
    show_log(ctx, "start timer 5sec");
    if (ctx.upload_debug) ctx.platform.diag("start 1 " + baud);
    ctx.timers->set_interval(Timer::y4, wait_for_c_ms);
    ctx.timers->set_on(Timer::y4, true);
    ctx.iui.clear();
    WaitEnd end = WaitEnd::time_end;
    for (int pass = 1;; ++pass) {
        process_events(ctx);
        ctx.iui = port_read(ctx, 2);
        if (!ctx.iui.empty()) trace_block(ctx, 2, ctx.iui);
        if (ctx.upload_debug)
            ctx.platform.diag("do1 " + std::to_string(pass) + " " + std::to_string(ctx.iui.size()) +
                              " " + hex_bytes(ctx.iui));
        // The timer keeps running: a new wait after the switch restarts it.
        if (ctx.iui == c_at_115200) return WaitEnd::fall_back;
        if (ctx.iui == c_request) {
            ctx.timers->set_on(Timer::y4, false);
            if (send_block0(ctx, stream)) {
                show_log(ctx, "input OK");
                send_stream(ctx, stream);
                return WaitEnd::stream_sent;
            }
            break;
        }
        if (abort_requested(ctx)) {
            ctx.timers->set_on(Timer::y4, false);
            break;
        }
        if (!ctx.timers->is_on(Timer::y4)) {
            // Not after STOP: the user closed the port, the box said nothing.
            if (ctx.port_flag) end = WaitEnd::ran_out;
            break;
        }
    }
    show_log(ctx, "time end");
    trace_block(ctx, 3, ctx.iui);
    return end;
}

// Listen at 230400 baud, and again at 115200 after every garbled "C".
Handshake handshake(Context& ctx, const Stream& stream) {
    const int proba = 1; // odd attempts run at 230400 baud
    trace_line(ctx, 1, "proba_nr", " " + std::to_string(proba));
    if (ctx.upload_debug) ctx.platform.diag("proba:" + std::to_string(proba));
    port_close(ctx);
    std::string baud = first_baud;
    if (!port_open(ctx, baud)) return Handshake::other;
    trace_line(ctx, 2, "Baudrate", baud + " ");
    for (;;) {
        ctx.iui = port_read(ctx, 1000);
        trace_block(ctx, 1, ctx.iui);
        trace_line(ctx, 3, "input(1000)", ctx.iui);
        if (ctx.iui == c_request) {
            // A box that asked at once gets the data blocks even when its
            // reply to block 0 is not an ACK.
            if (send_block0(ctx, stream)) {
                show_log(ctx, "input-1- OK");
            } else {
                ctx.iui.clear();
                trace_line(ctx, 2, "timer point 1", " " + clock_text(ctx));
            }
            send_stream(ctx, stream);
            return Handshake::other;
        }
        const WaitEnd end = wait_for_c(ctx, stream, baud);
        if (end == WaitEnd::ran_out) return Handshake::box_silent;
        if (end != WaitEnd::fall_back) return Handshake::other;
        baud = fallback_baud;
        if (!port_open(ctx, baud)) return Handshake::other;
    }
}

// "time end" alone cannot tell a dead box from a wrong port: the message
// names the port and what to look at.
std::string silent_box_text(Context& ctx) {
    const std::string device = ctx.platform.map_port(ctx.com_port).device;
    std::string port = ctx.com_port;
    // The device only where it says more than the port's own name.
    if (!device.empty() && device != port && !device.ends_with("\\" + port))
        port += " (" + device + ")";
    return "The box on " + port + " did not answer: nothing was uploaded.\nCheck that the box " +
           "is powered and in its bootloader, the cable at both ends, and that " + ctx.com_port +
           " is mapped to the port the cable is plugged into.";
}

} // namespace

std::optional<std::string> upload_refusal(const Context& ctx) {
    // A file that could not be read leaves nothing to send: never the bytes
    // of an earlier file under this file's name.
    if (!ctx.upload_ready)
        return "The file " + ctx.upload_file + " could not be prepared; select a readable file.";
    if (auto refusal = payload_refusal(ctx.upload_file, ctx.upload_data.size())) return refusal;
    if (file_type(ctx.upload_file) == "JPG" &&
        ctx.upload_data.compare(0, picture_mark.size(), picture_mark) != 0)
        return "The picture " + ctx.upload_file +
               " is not prepared for the welcome screen; select a picture that fits.";
    return std::nullopt;
}

void upload_driver(Context& ctx) {
    // STOP enables "Upload to Box" while the stopped upload still winds down,
    // and a failed reopening in the download's wait does the same: a press
    // then must not start a transfer inside the running exchange.
    const ExchangeGuard guard(ctx, Exchange::upload);
    if (!guard) return;
    ctx.upload_done = false;
    if (auto refusal = upload_refusal(ctx)) {
        ctx.platform.message_box(*refusal, "VELK2");
        release_upload(ctx);
        return;
    }
    Handshake end = Handshake::other;
    {
        UploadRun run(ctx);
        prepare(ctx, run.stream);
        end = handshake(ctx, run.stream);
    }
    // Once the port is closed: the box may be switched on meanwhile.
    if (end == Handshake::box_silent) ctx.platform.message_box(silent_box_text(ctx), upload_title);
}

} // namespace velk2
