#include "download/download_receive.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "download/download_timers.h"
#include "download/safe_save.h"
#include "download/ymodem_header.h"
#include "serial/hex_format.h"
#include "serial/port_connection.h"
#include "serial/primitives.h"
#include "serial/trace_files.h"
#include "session/exchange_guard.h"
#include "session/files.h"
#include "session/settings.h"

namespace velk2 {

namespace {

constexpr std::uint8_t header_wait_s = 30;
constexpr int reopen_interval_ms = 250;
constexpr int countdown_tick_ms = 1000;
constexpr std::int64_t block_wait_s = 5; // whole seconds: the wait lasts 5 to 6 s
constexpr int end_step_pause_ms = 549;
constexpr std::size_t block_data_size = 1024;
constexpr std::size_t block_data_offset = 3;
// A box that missed an ACK sends the block again; one that keeps doing so is
// broken, and no events run in the block phase to let the technician stop it.
constexpr int block_repeat_limit = 10;

const std::string first_block_request{'\x15', '\x06', 'C'};
const std::string next_block_request{'\x06'};
const std::string end_of_transfer_request{'\x15', '\x06'};
const std::string header_request{"C"};

void diag(Context& ctx, const std::string& line) {
    ctx.platform.diag(line);
}

// A download that ends without a file says why.
void tell(Context& ctx, const std::string& why) {
    ctx.platform.message_box(why, "");
}

// "06 F9": bytes as the box sent them.
std::string shown_bytes(std::string_view bytes) {
    std::string text = hex_bytes(bytes);
    if (!text.empty()) text.pop_back();
    return text;
}

std::string hex(std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, static_cast<unsigned>(value));
    return text;
}

// The box chooses the name; a control byte in it must not drive the terminal
// that shows the diagnostics.
std::string printable(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '.';
    return text;
}

// The digits the header announces as the size, for the refusal line.
std::string announced_size(std::string_view header) {
    const std::string_view field = header.substr(block_data_offset, 128);
    const std::size_t nul = field.find('\0');
    if (nul == std::string_view::npos) return {};
    const std::string_view rest = field.substr(nul + 1);
    return std::string(rest.substr(0, rest.find_first_not_of("0123456789")));
}

// Whole seconds of a clock that midnight does not reset, so that a block wait
// spanning midnight still ends after 5 to 6 s.
std::int64_t whole_seconds(Context& ctx) {
    return ctx.platform.monotonic_ms() / 1000;
}

bool ends_in_dsp(const std::string& name) {
    if (name.size() < 4) return false;
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return tail == ".DSP";
}

// Message box, counters, timers, and the first "C" at 230400.
void prepare(Context& ctx) {
    trace_reset(ctx);
    WindowReport& r = *ctx.report;
    WindowTimers& t = *ctx.timers;
    r.enable(Button::download, false);
    r.redraw_panel();
    r.file_length(0);
    r.log("start");
    // The 30 seconds start when the technician has closed this box.
    ctx.platform.message_box("wait 30-secundum the STB download", "");
    ctx.reply = header_request;
    ctx.idob = header_wait_s;
    t.set_interval(Timer::r1, ctx.idob * 1000);
    t.set_interval(Timer::r2, reopen_interval_ms);
    t.set_interval(Timer::r3, countdown_tick_ms);
    ctx.turbo = true;
    ctx.refused_rates.clear();
    ctx.transfer_state = 2;
    ctx.platform.diag_reset();
    diag(ctx, "RECstart");
    tmrR2_Timer(ctx);
    t.set_on(Timer::r1, true);
    t.set_on(Timer::r3, true);
}

struct HeaderWait {
    bool arrived = false; // something came that is worth checking
    bool stopped = false; // the technician ended the wait
};

// Why no whole header came: the port that would not open, or the box that
// did not answer in time. The technician who stopped the wait knows why.
void tell_no_header(Context& ctx, const HeaderWait& wait) {
    if (wait.stopped) return;
    std::string why;
    if (!ctx.refused_rates.empty()) {
        const PortMapping m = ctx.platform.map_port(ctx.com_port);
        const std::string reason = !m.problem.empty() ? m.problem
                                   : ctx.port         ? ctx.port->open_error()
                                                      : "";
        why = ctx.com_port + " could not be opened at " + ctx.refused_rates + " baud" +
              (reason.empty() ? "" : " (" + reason + ")") + ".";
    } else {
        why = "No header came from the box on " + ctx.com_port + " within " +
              std::to_string(header_wait_s) + " s (" +
              (ctx.iui.empty() ? std::string("asked at 230400 and 115200 baud")
                               : std::to_string(ctx.iui.size()) + " of its " +
                                     std::to_string(header_block_size) + " bytes came") +
              ").";
    }
    tell(ctx, why + " Nothing was downloaded.");
}

// Collects the header while the timers switch the rate and count down.
HeaderWait wait_for_header(Context& ctx) {
    HeaderWait wait;
    ctx.iui.clear();
    for (;;) {
        process_events(ctx);
        ctx.iui += port_read(ctx, header_block_size - ctx.iui.size());
        if (ctx.iui.size() == header_block_size || ctx.idob < 1) break;
        if (abort_requested(ctx)) {
            wait.stopped = true;
            break;
        }
        if (!ctx.timers->is_on(Timer::r1)) break;
    }
    stop_header_timers(ctx);
    const std::string counts = std::to_string(ctx.idob) + " " + std::to_string(ctx.iui.size());
    diag(ctx, "LOOP end " + counts);
    tmrR1_Timer(ctx);
    if (ctx.idob < 1) {
        diag(ctx, "if idob <1");
        tell_no_header(ctx, wait);
        return wait;
    }
    if (ctx.iui.empty()) {
        diag(ctx, "if <> " + counts);
        tell_no_header(ctx, wait);
        return wait;
    }
    ctx.timers->set_on(Timer::r1, false);
    diag(ctx, "RECend");
    wait.arrived = true;
    return wait;
}

// Name, size and block count from a header that passed its checks. A size
// beyond what a transfer can carry ends here, before any memory is reserved.
// A header cut short says so rather than what its missing bytes fail.
std::optional<HeaderFields> accept_header(Context& ctx, const HeaderWait& wait) {
    const HeaderCheck check = check_header(ctx.iui);
    const bool whole = ctx.iui.size() == header_block_size;
    const auto refuse = [&](const std::string& why) {
        if (!whole)
            tell_no_header(ctx, wait);
        else if (!wait.stopped)
            tell(ctx, why + " Nothing was downloaded.");
        return std::nullopt;
    };
    if (!check.start_ok) {
        diag(ctx, "bad 1,2,3 " + hex(check.received_start, 6) + " " + hex(0xFF0001, 6));
        return refuse("The box's first block is no file header: it starts " +
                      shown_bytes(ctx.iui.substr(0, 3)) + ", a header starts 01 00 FF.");
    }
    if (!check.crc_ok) {
        diag(ctx, "bad crc " + hex(check.crc_computed, 4) + " " + hex(check.crc_received, 4));
        return refuse("The box's file header failed its check (CRC " + hex(check.crc_computed, 4) +
                      " computed, " + hex(check.crc_received, 4) + " received).");
    }
    HeaderFields fields = header_fields(ctx.iui);
    if (!fields.size) {
        const std::string digits = announced_size(ctx.iui);
        diag(ctx, "bad size " + digits);
        return refuse(digits.empty() ? "The box's file header gives no file size."
                                     : "The box announces a file of " + digits +
                                           " bytes, more than a download takes (" +
                                           std::to_string(download_max_size) + " bytes).");
    }
    diag(ctx, printable(fields.file_name) + " " + std::to_string(*fields.size) + " " +
                  std::to_string(fields.block_count));
    ctx.report->file_length(*fields.size);
    return fields;
}

// The two bytes after a block's start: its number (modulo 256) and the
// complement.
std::string block_numbers(std::uint32_t k) {
    const auto number = static_cast<unsigned char>(k & 0xFF);
    return {char(number), char(255 - number)};
}

// Asks for each block and stores it as it arrives; no events run here, so the
// port delivers at its own speed. A block must carry its own number: the
// block just taken, sent again by a box that missed its ACK, is acknowledged
// again and dropped (its check value does not matter, it is not kept), and
// the wait for the block asked for starts anew. Why the blocks stopped, or
// nothing when all came.
std::optional<std::string> receive_blocks(Context& ctx, std::uint32_t count, std::string& store) {
    const std::string of_count = " of " + std::to_string(count);
    ctx.reply = first_block_request;
    std::int32_t byte_counter = 0;
    for (std::uint32_t k = 1; k <= count; ++k) {
        ctx.iui.clear();
        diag(ctx, "i64 out");
        port_send(ctx, ctx.reply);
        std::int64_t deadline = whole_seconds(ctx) + block_wait_s;
        const std::string expected = block_numbers(k), previous = block_numbers(k - 1);
        int repeats = 0;
        bool complete = false;
        do {
            ctx.iui += port_read(ctx, data_record_size - ctx.iui.size());
            if (ctx.iui.size() != data_record_size) continue;
            diag(ctx, "i64 " + std::to_string(data_record_size));
            const std::string numbers = ctx.iui.substr(1, 2);
            if (numbers == expected) {
                store += ctx.iui;
                byte_counter += static_cast<std::int32_t>(block_data_size);
                ctx.report->byte_counter(byte_counter);
                ctx.iui.clear();
                ctx.reply = next_block_request;
                complete = true;
            } else if (k > 1 && numbers == previous && repeats < block_repeat_limit) {
                ++repeats;
                diag(ctx, "i64 repeat " + std::to_string(k - 1));
                ctx.iui.clear();
                port_send(ctx, next_block_request);
                deadline = whole_seconds(ctx) + block_wait_s;
            } else {
                diag(ctx, "bad block " + std::to_string(k) + " " + shown_bytes(numbers));
                if (k > 1 && numbers == previous)
                    return "The download stopped: block " + std::to_string(k - 1) + " came again " +
                           std::to_string(repeats + 1) + " times instead of block " +
                           std::to_string(k) + of_count + ". Nothing was saved.";
                return "The download stopped: block " + std::to_string(k) + of_count +
                       " was expected (number " + shown_bytes(expected) +
                       "), the box sent number " + shown_bytes(numbers) + ". Nothing was saved.";
            }
        } while (!complete && whole_seconds(ctx) <= deadline && !port_lost(ctx));
        // The box stopped sending, or its line went away: without a word the
        // technician would wait for a file dialog that never comes.
        if (!complete || whole_seconds(ctx) > deadline) {
            const std::string why =
                !complete && port_lost(ctx) ? std::string(": ") + device_gone : "";
            return "The download stopped: block " + std::to_string(k) + of_count + " did not come" +
                   why + ". Nothing was saved.";
        }
    }
    return std::nullopt;
}

// What the box sends back here is of no interest; the steps only let it
// close its batch.
void end_step(Context& ctx, const std::string& reply, const char* label) {
    ctx.reply = reply;
    ctx.iui.clear();
    diag(ctx, label);
    port_send(ctx, ctx.reply);
    pause(ctx, end_step_pause_ms);
    ctx.iui += port_read(ctx, data_record_size);
}

void end_exchange(Context& ctx) {
    ctx.timers->set_on(Timer::r4, false);
    end_step(ctx, end_of_transfer_request, "endfej1 out");
    end_step(ctx, header_request, "endfej2 out");
    diag(ctx, "Check");
}

// The file's bytes (size + 1024, zero-filled) when every block passes its
// check; nothing at the first block that does not.
std::optional<std::string> check_and_assemble(const std::string& store, std::uint32_t count,
                                              std::uint32_t size) {
    std::string data(std::size_t{size} + block_data_size, '\0');
    for (std::size_t k = 0; k < count; ++k) {
        const std::string_view record(store.data() + k * data_record_size, data_record_size);
        if (!block_crc_ok(record)) return std::nullopt;
        std::memcpy(data.data() + k * block_data_size, record.data() + block_data_offset,
                    block_data_size);
    }
    return data;
}

// The name the user confirms, proposed in the folder of the last download.
// The header's name is reduced to a plain file name: the box must never
// choose the folder. A save that fails offers the dialog again with the name
// that failed, so that the received file is not lost; only the empty name of
// a cancelled dialog gives it up. Only a saved path is remembered.
void save_download(Context& ctx, const std::string& header_name, std::string_view data) {
    const std::string last = read_setting(ctx, "LAST", "DOWN");
    const std::size_t slash = last_separator(last);
    const std::string folder = slash == std::string::npos ? "" : last.substr(0, slash + 1);
    std::string proposal = folder + safe_file_name(header_name);
    for (;;) {
        std::string chosen = select_file(ctx, "Select DSP filename", proposal, "DSP", true);
        if (chosen.empty()) {
            tell(ctx, "The " + std::to_string(data.size()) +
                          " bytes received from the box were not saved: no file name was chosen.");
            return;
        }
        if (!ends_in_dsp(chosen)) chosen += ".DSP";
        const std::error_code ec = save_file_atomically(chosen, data);
        if (!ec) {
            store_setting(ctx, "LAST", "DOWN", chosen);
            store_setting(ctx, "LAST", "DSP", chosen);
            return;
        }
        diag(ctx, "not written " + chosen + " " + ec.message());
        tell(ctx, "The file " + chosen + " could not be written: " + ec.message() +
                      ". A file of that name that was there is unchanged. Choose another folder or "
                      "name, or cancel.");
        proposal = chosen;
    }
}

// Phases after the header wait; any return goes on with the end phase.
void receive_and_save(Context& ctx) {
    const HeaderWait wait = wait_for_header(ctx);
    if (!wait.arrived) return;
    const std::optional<HeaderFields> fields = accept_header(ctx, wait);
    if (!fields) return;

    std::string store;
    store.reserve(std::size_t{fields->block_count} * data_record_size);
    if (const auto stopped = receive_blocks(ctx, fields->block_count, store)) {
        tell(ctx, *stopped);
        return;
    }
    end_exchange(ctx);

    const std::optional<std::string> data =
        check_and_assemble(store, fields->block_count, *fields->size);
    std::string().swap(store);
    if (!data) {
        ctx.platform.message_box("Download mistake file (check)", "");
        return;
    }
    save_download(ctx, fields->file_name, std::string_view(*data).substr(0, *fields->size));
}

// Every download ends here, whatever stopped it, an error thrown by an event
// handler during the header wait included: the port is closed and the button
// usable again.
class DownloadRun {
  public:
    explicit DownloadRun(Context& ctx) : ctx_(ctx) {}
    ~DownloadRun() {
        diag(ctx_, "REC exit");
        ctx_.report->log("");
        port_close(ctx_);
        ctx_.transfer_state = 0;
        ctx_.report->enable(Button::download, true);
    }
    DownloadRun(const DownloadRun&) = delete;
    DownloadRun& operator=(const DownloadRun&) = delete;

  private:
    Context& ctx_;
};

} // namespace

void download_file(Context& ctx) {
    // The button is disabled while a download runs, but a click already
    // queued, or one made while another exchange lets events run, must not
    // start a second exchange on the same port.
    const ExchangeGuard guard(ctx, Exchange::download);
    if (!guard) return;
    DownloadRun run(ctx);
    prepare(ctx);
    receive_and_save(ctx);
}

} // namespace velk2
