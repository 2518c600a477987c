#include "platform/console_platform.h"

#include <algorithm>

#include "platform/dialog_script.h"
#include "platform/local_time.h"
#include "platform/wall_clock.h"

namespace velk2 {

ConsolePlatform::ConsolePlatform(SettingsLookup settings)
    : settings_(std::move(settings)), pump_(*this, {[] {},
                                                    [this](std::optional<std::int64_t> until_ms) {
                                                        // No window: only the timers bring events.
                                                        if (!until_ms) return false;
                                                        sleep_until(*until_ms);
                                                        return true;
                                                    }}) {}

ConsolePlatform::~ConsolePlatform() = default;

std::string ConsolePlatform::read_input(std::size_t n) {
    return io_.read(n);
}

void ConsolePlatform::check_interrupt() {
    // The station's stop request ends the worker as SIGTERM does.
    if (const int signal = io_.stop_request()) throw Interrupted{signal};
}

void ConsolePlatform::sleep_until(std::int64_t until_ms) {
    for (;;) {
        const std::int64_t left = until_ms - steady_ms();
        if (left <= 0 || io_.stop_request() != 0) return;
        io_.wait(int(std::min<std::int64_t>(left, 1000)));
    }
}

void ConsolePlatform::attach(Window& window) {
    window_ = &window;
    pump_.attach(window);
}

double ConsolePlatform::seconds_since_midnight() {
    const LocalWallTime now = local_time_now();
    return now.hour * 3600.0 + now.minute * 60.0 + now.second;
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
    io_.write_error(line);
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
