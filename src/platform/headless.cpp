#include "platform/headless.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/line_rates.h"
#include "platform/line_read_back.h"
#include "platform/os_path.h"

namespace velk2 {

// ---------------------------------------------------------------- line

void HeadlessLine::send(const std::string& bytes, std::int64_t delay_us, std::int64_t gap_us) {
    std::int64_t t = platform_.now_us_ + delay_us;
    if (!incoming_.empty()) t = std::max(t, incoming_.back().first);
    for (char b : bytes) {
        incoming_.emplace_back(t, b);
        t += gap_us;
    }
}

std::string HeadlessLine::written() const {
    std::string all;
    for (const auto& w : writes) all += w.bytes;
    return all;
}

std::int64_t HeadlessLine::now_us() const {
    return platform_.now_us_;
}

// ---------------------------------------------------------------- port

class HeadlessPort : public SerialPort {
  public:
    explicit HeadlessPort(HeadlessPlatform& p) : platform_(p) {}
    ~HeadlessPort() override { close(); }

    bool open(const std::string& device, const std::string& baud) override {
        close();
        HeadlessLine* line = platform_.line(device);
        open_error_ = !line || line->lost           ? "No such file or directory"
                      : !line->denied_group.empty() ? "Permission denied"
                      : line->refuse_open           ? "Device or resource busy"
                                                    : "";
        denied_group_ = line && !line->lost ? line->denied_group : "";
        if (!open_error_.empty()) return false;
        if (!line_rate(baud)) return refuse("no such rate " + baud);
        line_ = line;
        timed_ = false;
        line->open = true;
        line->baud = baud;
        ++line->open_count;
        // Input that arrived while nobody listened is gone, as on a real port.
        auto now = platform_.now_us_;
        while (!line->incoming_.empty() && line->incoming_.front().first <= now)
            line->incoming_.pop_front();
        if (line->on_open) line->on_open(*line);
        return true;
    }

    bool set_timeouts() override {
        if (!line_) return refuse("not open");
        timed_ = true;
        return true;
    }

    bool read_line_record(std::string& record) override {
        if (!line_) return refuse("not open");
        record = std::string(28, '\0');
        record.replace(0, line_->baud.size(), line_->baud);
        return true;
    }

    bool apply_line_settings(const std::string& baud) override {
        if (!line_) return refuse("not open");
        const auto rate = line_rate(baud);
        if (!rate) return refuse("no such rate " + baud);
        if (line_->refuse_settings) return refuse(read_back_mismatch({9600, 9600}, *rate));
        line_->baud = baud;
        return true;
    }

    std::string read(std::size_t n) override {
        if (!line_) return {};
        auto& now = platform_.now_us_;
        const std::int64_t start = now;
        const std::int64_t total = start + (std::int64_t(n) + 1) * 1000;
        const std::int64_t first = timed_ ? total : std::min(total, start + 1000);
        if (line_->lost) {
            now = first;
            return {};
        }
        std::string got;
        std::int64_t t = start;
        auto& in = line_->incoming_;
        while (got.size() < n) {
            const std::int64_t limit = got.empty() ? first : std::min(t + 1000, total);
            if (in.empty() || std::max(in.front().first, t) > limit) {
                t = limit;
                break;
            }
            t = std::max(in.front().first, t);
            got += in.front().second;
            in.pop_front();
        }
        now = t;
        return got;
    }

    bool write(const std::string& bytes) override {
        if (!line_ || line_->lost) return false;
        line_->writes.push_back({platform_.now_us_, line_->baud, bytes});
        if (line_->on_write) line_->on_write(*line_, bytes);
        return true;
    }

    void close() override {
        if (line_) line_->open = false;
        line_ = nullptr;
    }
    bool is_open() const override { return line_ != nullptr; }
    bool line_lost() const override { return line_ && line_->lost; }
    std::string open_error() const override { return open_error_; }
    std::string denied_group() const override { return denied_group_; }
    std::string open_note() const override { return line_ ? line_->open_note : ""; }
    std::optional<int> slow_adapter_ms() const override {
        return line_ ? line_->slow_adapter_ms : std::nullopt;
    }

  private:
    bool refuse(const std::string& why) {
        open_error_ = why;
        return false;
    }

    HeadlessPlatform& platform_;
    HeadlessLine* line_ = nullptr;
    std::string open_error_;
    std::string denied_group_;
    bool timed_ = false;
};

// ---------------------------------------------------------------- platform

HeadlessPlatform::HeadlessPlatform()
    : pump_(*this,
            {[] {}, [this](std::optional<std::int64_t> until_ms) { return deliver(until_ms); }}) {}
HeadlessPlatform::~HeadlessPlatform() = default;

HeadlessLine& HeadlessPlatform::add_line(const std::string& port_name) {
    auto& slot = lines_[port_name];
    slot.reset(new HeadlessLine(*this));
    return *slot;
}

HeadlessLine* HeadlessPlatform::line(const std::string& port_name) {
    auto it = lines_.find(port_name);
    return it == lines_.end() ? nullptr : it->second.get();
}

void HeadlessPlatform::at(std::int64_t at_ms, std::function<void()> action) {
    events_.emplace(at_ms * 1000, std::move(action));
}

void HeadlessPlatform::signal_at(std::int64_t at_ms, int signal) {
    signal_ = signal;
    signal_us_ = at_ms * 1000;
}

void HeadlessPlatform::check_interrupt() {
    if (signal_ && now_us_ >= signal_us_) throw Interrupted{signal_};
}

void HeadlessPlatform::pause(int ms) {
    now_us_ += std::int64_t(ms) * 1000;
    check_interrupt();
}

double HeadlessPlatform::seconds_since_midnight() {
    double s = start_of_day_s + double(now_us_) / 1e6;
    while (s >= 86400.0) s -= 86400.0;
    return s;
}

// Nothing is shown, and waiting moves the clock: to the next scripted
// event, the end signal or `until_ms`, whichever comes first.
bool HeadlessPlatform::deliver(std::optional<std::int64_t> until_ms) {
    std::optional<std::int64_t> due;
    if (!events_.empty()) due = events_.begin()->first;
    if (signal_ && (!due || signal_us_ < *due)) due = signal_us_;
    if (until_ms && (!due || *until_ms * 1000 < *due)) due = *until_ms * 1000;
    if (!due) return false;
    now_us_ = std::max(now_us_, *due);
    check_interrupt();
    while (!events_.empty() && events_.begin()->first <= now_us_) {
        auto action = std::move(events_.begin()->second);
        events_.erase(events_.begin());
        action();
    }
    return true;
}

void HeadlessPlatform::process_events() {
    ++process_events_calls;
    pump_.process_events();
}

bool HeadlessPlatform::wait_event() {
    return pump_.wait_event();
}

void HeadlessPlatform::close_window() {
    if (window_) window_->exists = false;
}

void HeadlessPlatform::message_box(const std::string& text, const std::string& title) {
    check_interrupt();
    messages.emplace_back(text, title);
    if (on_message) on_message(text);
    check_interrupt();
}

std::string HeadlessPlatform::file_dialog(const FileDialogRequest& request, bool) {
    check_interrupt();
    file_requests.push_back(request);
    if (file_answers.empty()) return {};
    std::string answer = file_answers.front();
    file_answers.pop_front();
    return answer;
}

std::string HeadlessPlatform::read_setting(const std::string& section, const std::string& key) {
    auto it = settings.find({section, key});
    return it == settings.end() ? std::string() : it->second;
}

void HeadlessPlatform::store_setting(const std::string& section, const std::string& key,
                                     const std::string& value) {
    settings[{section, key}] = value;
}

std::unique_ptr<SerialPort> HeadlessPlatform::new_port() {
    return std::make_unique<HeadlessPort>(*this);
}

bool HeadlessPlatform::load_picture(const std::string& path) {
    // A JPEG starts with its SOI marker; anything else is no picture.
    std::ifstream f(os_path(path), std::ios::binary);
    char soi[2] = {};
    return f.read(soi, 2) && soi[0] == '\xFF' && soi[1] == '\xD8';
}

} // namespace velk2
