#include "platform/console_platform.h"

#ifndef _WIN32

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <poll.h>
#include <unistd.h>

#include "platform/dialog_script.h"
#include "platform/file_size_signal.h"
#include "platform/wall_clock.h"

namespace velk2 {

namespace {

constexpr int end_signals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr int end_signal_count = sizeof end_signals / sizeof end_signals[0];

std::atomic<int> arrived_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);
struct sigaction previous[end_signal_count];
struct sigaction previous_pipe;

extern "C" void note_worker_end_signal(int signal) {
    int none = 0;
    arrived_signal.compare_exchange_strong(none, signal);
}

} // namespace

ConsolePlatform::ConsolePlatform(SettingsLookup settings)
    : settings_(std::move(settings)), pump_(*this, {[] {},
                                                    [this](std::optional<std::int64_t> until_ms) {
                                                        // No window: only the timers bring events.
                                                        if (!until_ms) return false;
                                                        sleep_until(*until_ms);
                                                        return true;
                                                    }}) {
    arrived_signal = 0;
    // SA_RESTART: a line being written finishes; the waits (poll) still
    // return early on a signal and look at the flag themselves.
    struct sigaction action {};
    action.sa_handler = note_worker_end_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < end_signal_count; ++i) sigaction(end_signals[i], &action, &previous[i]);
    // A station that died must not kill the worker with the line still set
    // up: a write to its pipe fails instead, and the end of input stops it.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &previous_pipe);
    ignore_file_size_signal();
}

ConsolePlatform::~ConsolePlatform() {
    for (int i = 0; i < end_signal_count; ++i) sigaction(end_signals[i], &previous[i], nullptr);
    sigaction(SIGPIPE, &previous_pipe, nullptr);
}

std::string ConsolePlatform::read_input(std::size_t n) {
    watching_input_ = true;
    char buffer[65536];
    while (!input_end_ && arrived_signal.load() == 0) {
        pollfd p{STDIN_FILENO, POLLIN, 0};
        if (::poll(&p, 1, 200) <= 0) continue;
        const ssize_t got = ::read(STDIN_FILENO, buffer, std::min(n, sizeof buffer));
        if (got > 0) return std::string(buffer, std::size_t(got));
        if (got == 0 || (errno != EINTR && errno != EAGAIN)) input_end_ = true;
    }
    return {};
}

// Whatever arrives after the data is of no use and is dropped; only the end
// of the input counts.
bool ConsolePlatform::input_ended() {
    if (!watching_input_ || input_end_) return input_end_;
    pollfd p{STDIN_FILENO, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0) return false;
    if (p.revents & POLLNVAL) return input_end_ = true;
    char buffer[4096];
    const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) input_end_ = true;
    return input_end_;
}

void ConsolePlatform::check_interrupt() {
    if (const int signal = arrived_signal.load()) throw Interrupted{signal};
    // The station's stop request ends the worker as SIGTERM does.
    if (input_ended()) throw Interrupted{SIGTERM};
}

void ConsolePlatform::sleep_until(std::int64_t until_ms) {
    for (;;) {
        const std::int64_t left = until_ms - steady_ms();
        if (left <= 0 || arrived_signal.load() != 0 || input_ended()) return;
        pollfd p{STDIN_FILENO, POLLIN, 0};
        // The input is looked at only once the data were taken.
        ::poll(&p, watching_input_ ? 1 : 0, int(std::min<std::int64_t>(left, 1000)));
    }
}

void ConsolePlatform::attach(Window& window) {
    window_ = &window;
    pump_.attach(window);
}

double ConsolePlatform::seconds_since_midnight() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
}

std::int64_t ConsolePlatform::monotonic_ms() {
    return steady_ms();
}

void ConsolePlatform::pause(int ms) {
    sleep_until(steady_ms() + ms);
    check_interrupt();
}

void ConsolePlatform::close_window() {
    if (window_) window_->exists = false;
}

void ConsolePlatform::message_box(const std::string& text, const std::string& title) {
    check_interrupt();
    diag(message_line(title, text));
    if (on_message) on_message(text);
}

std::string ConsolePlatform::file_dialog(const FileDialogRequest&, bool) {
    check_interrupt();
    return {};
}

std::string ConsolePlatform::read_setting(const std::string& section, const std::string& key) {
    return settings_ ? settings_(section, key) : std::string();
}

void ConsolePlatform::diag(const std::string& line) {
    const std::string text = line + "\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

std::unique_ptr<SerialPort> ConsolePlatform::new_port() {
    return make_os_serial_port();
}

std::string ConsolePlatform::device_for(const std::string& port_name) {
    // A name that leads nowhere must not open some other file.
    const PortMapping m = map_port(port_name);
    return m.problem.empty() ? m.device : std::string();
}

PortMapping ConsolePlatform::map_port(const std::string& port_name) {
    return map_port_name(port_name, process_env,
                         [this](const std::string& key) { return read_setting("PORTS", key); });
}

} // namespace velk2

#endif
