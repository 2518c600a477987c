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

const std::string first_block_request{'\x15', '\x06', 'C'};
const std::string next_block_request{'\x06'};
const std::string end_of_transfer_request{'\x15', '\x06'};
const std::string header_request{"C"};

void diag(Context& ctx, const std::string& line) {
    ctx.platform.diag(line);
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
    r.enable(Button::download, false);
    r.redraw_panel();
    r.file_length(0);
    r.log("start");
    // The 30 seconds start when the technician has closed this box.
    ctx.platform.message_box("wait 30-secundum the STB download", "");
    ctx.reply = header_request;
    ctx.idob = header_wait_s;
    r.timer_interval(Timer::r1, ctx.idob * 1000);
    r.timer_interval(Timer::r2, reopen_interval_ms);
    r.timer_interval(Timer::r3, countdown_tick_ms);
    ctx.turbo = true;
    ctx.transfer_state = 2;
    ctx.platform.diag_reset();
    diag(ctx, "RECstart");
    tmrR2_Timer(ctx);
    r.timer_on(Timer::r1, true);
    r.timer_on(Timer::r3, true);
}

// Collects the header while the timers switch the rate and count down. True
// when something arrived that is worth checking.
bool wait_for_header(Context& ctx) {
    ctx.iui.clear();
    for (;;) {
        process_events(ctx);
        ctx.iui += port_read(ctx, header_block_size - ctx.iui.size());
        if (ctx.iui.size() == header_block_size || ctx.idob < 1 || abort_requested(ctx) ||
            !ctx.report->timer_running(Timer::r1))
            break;
    }
    stop_header_timers(ctx);
    const std::string counts = std::to_string(ctx.idob) + " " + std::to_string(ctx.iui.size());
    diag(ctx, "LOOP end " + counts);
    tmrR1_Timer(ctx);
    if (ctx.idob < 1) {
        diag(ctx, "if idob <1");
        return false;
    }
    if (ctx.iui.empty()) {
        diag(ctx, "if <> " + counts);
        return false;
    }
    ctx.report->timer_on(Timer::r1, false);
    diag(ctx, "RECend");
    return true;
}

// Name, size and block count from a header that passed its checks. A size
// beyond what a transfer can carry ends here, before any memory is reserved.
std::optional<HeaderFields> accept_header(Context& ctx) {
    const HeaderCheck check = check_header(ctx.iui);
    if (!check.start_ok) {
        diag(ctx, "bad 1,2,3 " + hex(check.received_start, 6) + " " + hex(0xFF0001, 6));
        return std::nullopt;
    }
    if (!check.crc_ok) {
        diag(ctx, "bad crc " + hex(check.crc_computed, 4) + " " + hex(check.crc_received, 4));
        return std::nullopt;
    }
    HeaderFields fields = header_fields(ctx.iui);
    if (!fields.size) {
        diag(ctx, "bad size " + announced_size(ctx.iui));
        return std::nullopt;
    }
    diag(ctx, printable(fields.file_name) + " " + std::to_string(*fields.size) + " " +
                  std::to_string(fields.block_count));
    ctx.report->file_length(*fields.size);
    return fields;
}

// Asks for each block and stores it as it arrives; no events run here, so the
// port delivers at its own speed. The number of the block that missed its
// deadline, or 0 when all came.
std::uint32_t receive_blocks(Context& ctx, std::uint32_t count, std::string& store) {
    ctx.reply = first_block_request;
    std::int32_t byte_counter = 0;
    for (std::uint32_t k = 1; k <= count; ++k) {
        ctx.iui.clear();
        diag(ctx, "i64 out");
        port_send(ctx, ctx.reply);
        const std::int64_t deadline = whole_seconds(ctx) + block_wait_s;
        bool complete = false;
        do {
            ctx.iui += port_read(ctx, data_record_size - ctx.iui.size());
            if (ctx.iui.size() == data_record_size) {
                diag(ctx, "i64 " + std::to_string(data_record_size));
                store += ctx.iui;
                byte_counter += static_cast<std::int32_t>(block_data_size);
                ctx.report->byte_counter(byte_counter);
                ctx.iui.clear();
                ctx.reply = next_block_request;
                complete = true;
            }
        } while (!complete && whole_seconds(ctx) <= deadline && !port_lost(ctx));
        if (!complete) return k;
    }
    return 0;
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
    ctx.report->timer_on(Timer::r4, false);
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
// choose the folder.
void save_download(Context& ctx, const std::string& header_name, std::string_view data) {
    const std::string last = read_setting(ctx, "LAST", "DOWN");
    const std::size_t slash = last_separator(last);
    const std::string folder = slash == std::string::npos ? "" : last.substr(0, slash + 1);
    std::string chosen =
        select_file(ctx, "Select DSP filename", folder + safe_file_name(header_name), "DSP", true);
    if (chosen.size() <= 7) return;
    if (!ends_in_dsp(chosen)) chosen += ".DSP";
    store_setting(ctx, "LAST", "DOWN", chosen);
    if (const std::error_code ec = save_file_atomically(chosen, data)) {
        diag(ctx, "not written " + chosen + " " + ec.message());
        ctx.platform.message_box("The file " + chosen + " could not be written: " + ec.message() +
                                     ". A file of that name that was there is unchanged.",
                                 "");
    }
}

// Phases after the header wait; any return goes on with the end phase.
void receive_and_save(Context& ctx) {
    if (!wait_for_header(ctx)) return;
    const std::optional<HeaderFields> fields = accept_header(ctx);
    if (!fields) return;

    std::string store;
    store.reserve(std::size_t{fields->block_count} * data_record_size);
    if (const std::uint32_t missed = receive_blocks(ctx, fields->block_count, store)) {
        // The box stopped sending: without a word the technician would wait
        // for a file dialog that never comes.
        const std::string why = port_lost(ctx) ? std::string(": ") + device_gone : "";
        ctx.platform.message_box("The download stopped: block " + std::to_string(missed) + " of " +
                                     std::to_string(fields->block_count) + " did not come" + why +
                                     ". Nothing was saved.",
                                 "");
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
