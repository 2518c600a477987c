#include "station/worker_run.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>
#include <string_view>

#include "serial/port_connection.h"
#include "serial/primitives.h"
#include "session/files.h"
#include "station/sha256.h"
#include "station/worker_lines.h"
#include "upload/upload_driver.h"

namespace velk2 {

namespace {

const char* const listen_baud = "230400";
// One "C" of a box at 115200 baud as a port at 230400 baud samples it.
constexpr std::string_view c_at_115200{"\x1E\xFE", 2};

std::optional<std::int64_t> whole_number(const std::string& text) {
    if (text.empty() || text.size() > 12) return std::nullopt;
    std::int64_t n = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
        n = n * 10 + (c - '0');
    }
    return n;
}

// "5", "1.5", "0.250" as milliseconds; at most a day.
std::optional<int> seconds_as_ms(const std::string& text) {
    const std::size_t dot = text.find('.');
    const auto whole = whole_number(text.substr(0, dot));
    std::string fraction = dot == std::string::npos ? "" : text.substr(dot + 1);
    if (!whole || *whole > 86400 || fraction.size() > 3) return std::nullopt;
    if (dot != std::string::npos && fraction.empty()) return std::nullopt;
    fraction.resize(3, '0');
    const auto ms = whole_number(fraction);
    if (!ms) return std::nullopt;
    return static_cast<int>(*whole * 1000 + *ms);
}

bool hex_digest(const std::string& text) {
    return text.size() == 64 && std::all_of(text.begin(), text.end(), [](char c) {
               return std::isxdigit(static_cast<unsigned char>(c)) != 0;
           });
}

std::string lower(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Passes everything on to the window model's report, and takes from it what
// the worker tells: the acknowledged bytes, the log text (the reason of a
// failure that showed no message) and the port field (why a port did not open).
class WorkerReport final : public WindowReport {
  public:
    explicit WorkerReport(std::unique_ptr<WindowReport> inner) : inner_(std::move(inner)) {}

    std::function<void(std::int64_t bytes)> on_bytes;
    std::string last_log;
    std::string port_text;

    void redraw_panel() override { inner_->redraw_panel(); }
    void log(const std::string& text) override { last_log = text, inner_->log(text); }
    void file_length(std::int64_t bytes) override { inner_->file_length(bytes); }
    void clear_byte_counter() override { inner_->clear_byte_counter(); }
    void byte_counter(std::int64_t bytes) override {
        inner_->byte_counter(bytes);
        if (on_bytes) on_bytes(bytes);
    }
    void upload_size(std::int64_t bytes) override { inner_->upload_size(bytes); }
    void port_state(const std::string& text) override {
        if (!text.empty()) port_text = text;
        inner_->port_state(text);
    }
    void port_flag(bool open) override { inner_->port_flag(open); }
    void enable(Button button, bool on) override { inner_->enable(button, on); }
    void caption(Button button, const std::string& text) override { inner_->caption(button, text); }
    void title(const std::string& text) override { inner_->title(text); }

  private:
    std::unique_ptr<WindowReport> inner_;
};

class Worker {
  public:
    Worker(Context& ctx, WorkerIo& io) : ctx_(ctx), io_(io) {
        auto report = std::make_unique<WorkerReport>(std::move(ctx.report));
        report_ = report.get();
        ctx.report = std::move(report);
    }

    int run(const std::vector<std::string>& args) {
        auto parsed = parse_worker_options(args);
        if (auto* problem = std::get_if<std::string>(&parsed)) return error(*problem);
        options_ = std::get<WorkerOptions>(parsed);
        ctx_.com_port = options_.port;
        ctx_.upload_file = options_.name;
        if (auto problem = take_data()) return error(*problem);
        say(WorkerReady{options_.size, sha256_hex(ctx_.upload_data)});

        if (options_.quiet_first_ms > 0) {
            say(WorkerQuiet{});
            if (!port_open(ctx_, listen_baud)) return error(report_->port_text);
            wait_for_silence(options_.quiet_first_ms);
        }
        if (!port_open(ctx_, listen_baud)) return error(report_->port_text);
        say(WorkerWaiting{ctx_.platform.map_port(ctx_.com_port).device});
        const std::optional<int> baud = listen();
        if (!baud) return error(report_->port_text);
        const WorkerResult result = flash(*baud);
        say(result);
        const int status = result.outcome == FlashOutcome::done ? 0 : 1;
        done_ = status == 0;
        say(WorkerQuiet{});
        if (port_open(ctx_, listen_baud))
            wait_for_silence(options_.quiet_ms);
        else
            wait_out(options_.quiet_ms); // nothing to hear: the time alone
        port_close(ctx_);
        return status;
    }

    // A stop request: the port closed (the upload closed it already when it
    // was the one running), and the status of what was done.
    int stopped() {
        port_close(ctx_);
        return done_ ? 0 : 1;
    }

  private:
    void say(const WorkerEvent& event) { io_.write_line(format_worker_line(event)); }

    // By value: the reason may be the port field, which the close rewrites.
    int error(std::string reason) {
        port_close(ctx_);
        say(WorkerError{reason});
        return 1;
    }

    // The data of exactly the announced size and hash, ready to upload.
    std::optional<std::string> take_data() {
        std::string data;
        const auto size = static_cast<std::size_t>(options_.size);
        while (data.size() < size) {
            std::string more = io_.read_input(size - data.size());
            if (more.empty()) break;
            data += more;
        }
        ctx_.platform.check_interrupt();
        if (data.size() < size)
            return "upload data ended after " + std::to_string(data.size()) + " of " +
                   std::to_string(size) + " bytes";
        const std::string digest = sha256_hex(data);
        if (digest != lower(options_.sha256))
            return "upload data do not match their SHA-256 (" + digest + ")";
        ctx_.upload_data = std::move(data);
        ctx_.upload_ready = true;
        const std::string type = file_type(ctx_.upload_file);
        if (type != "DSP" && type != "JPG") return "not a DSP or JPG file: " + ctx_.upload_file;
        return upload_refusal(ctx_);
    }

    // Listens on the open port until a box asks: its rate, or nothing when
    // the port went away and does not open again.
    std::optional<int> listen() {
        for (;;) {
            if (port_lost(ctx_) && !port_open(ctx_, listen_baud)) return std::nullopt;
            const std::string heard = port_read(ctx_, listen_read_bytes);
            if (heard == std::string(1, 'C')) return 230400;
            if (heard == c_at_115200) return 115200;
        }
    }

    // The upload as the automatic upload runs it, from the box's first request.
    WorkerResult flash(int baud) {
        const auto total = static_cast<std::int64_t>(ctx_.upload_data.size());
        std::int64_t acknowledged = 0;
        say(WorkerFlashing{0, total, baud});
        report_->on_bytes = [&](std::int64_t bytes) {
            bytes = std::min(bytes, total);
            if (bytes == acknowledged) return;
            acknowledged = bytes;
            say(WorkerFlashing{bytes, total, baud});
        };
        const std::int64_t start = ctx_.platform.monotonic_ms();
        const auto outcome_after = [&](FlashOutcome outcome, std::string reason) {
            report_->on_bytes = nullptr;
            const std::int64_t ms = ctx_.platform.monotonic_ms() - start;
            const std::int64_t bytes = outcome == FlashOutcome::done ? total : acknowledged;
            return WorkerResult{outcome, ms, ms > 0 ? bytes * 1000 / ms : 0, std::move(reason)};
        };
        port_close(ctx_);
        io_.last_message.clear();
        ctx_.upload_done = false;
        ctx_.save_last_file = false;
        ctx_.quit_after_upload = true;
        try {
            upload_driver(ctx_);
        } catch (const Interrupted&) {
            // The driver's end steps closed the port on the way out.
            say(outcome_after(FlashOutcome::stopped, ""));
            throw;
        }
        if (ctx_.upload_done) return outcome_after(FlashOutcome::done, "");
        std::string reason = io_.last_message.empty() ? report_->last_log : io_.last_message;
        return outcome_after(FlashOutcome::failed, reason);
    }

    // Returns once nothing has arrived for `ms` on the open port.
    void wait_for_silence(int ms) {
        std::int64_t last_heard = ctx_.platform.monotonic_ms();
        while (ctx_.platform.monotonic_ms() - last_heard < ms) {
            if (!port_read(ctx_, listen_read_bytes).empty())
                last_heard = ctx_.platform.monotonic_ms();
        }
        port_close(ctx_);
    }

    void wait_out(int ms) {
        const std::int64_t end = ctx_.platform.monotonic_ms() + ms;
        while (ctx_.platform.monotonic_ms() < end)
            ctx_.platform.pause(
                int(std::min<std::int64_t>(listen_read_bytes, end - ctx_.platform.monotonic_ms())));
    }

    Context& ctx_;
    WorkerIo& io_;
    WorkerReport* report_ = nullptr;
    WorkerOptions options_;
    bool done_ = false;
};

} // namespace

bool worker_requested(const std::vector<std::string>& args) {
    return !args.empty() && args[0] == "--worker";
}

std::variant<WorkerOptions, std::string>
parse_worker_options(const std::vector<std::string>& args) {
    if (!worker_requested(args) || args.size() < 2) return std::string("--worker needs a port");
    WorkerOptions o;
    o.port = args[1];
    bool have_name = false, have_size = false, have_hash = false;
    for (std::size_t i = 2; i < args.size(); i += 2) {
        const std::string& key = args[i];
        if (i + 1 >= args.size()) return key + " needs a value";
        const std::string& value = args[i + 1];
        if (key == "--name") {
            o.name = value, have_name = !value.empty();
        } else if (key == "--size") {
            const auto n = whole_number(value);
            if (!n) return "--size is no byte count: " + value;
            o.size = *n, have_size = true;
        } else if (key == "--sha256") {
            if (!hex_digest(value)) return "--sha256 is no SHA-256 digest: " + value;
            o.sha256 = value, have_hash = true;
        } else if (key == "--quiet-first" || key == "--quiet") {
            const auto ms = seconds_as_ms(value);
            if (!ms) return key + " is no number of seconds: " + value;
            (key == "--quiet" ? o.quiet_ms : o.quiet_first_ms) = *ms;
        } else {
            return "unknown worker option: " + key;
        }
    }
    if (o.port.empty() || o.port.starts_with("--")) return std::string("--worker needs a port");
    if (!have_name) return std::string("--name is missing");
    if (!have_size) return std::string("--size is missing");
    if (!have_hash) return std::string("--sha256 is missing");
    return o;
}

int run_worker(Context& ctx, const std::vector<std::string>& args, WorkerIo& io) {
    Worker worker(ctx, io);
    try {
        return worker.run(args);
    } catch (const Interrupted&) {
        return worker.stopped();
    }
}

} // namespace velk2
