#include "platform/qt/qt_platform.h"

#include <QApplication>
#include <QImageReader>
#include <QTime>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <utility>

#include "platform/device_names.h"
#include "platform/qt/mouse_state.h"
#include "platform/qt/qt_dialogs.h"
#include "platform/qt/qt_settings.h"
#include "platform/qt/qt_text.h"
#include "platform/qt/qt_window.h"
#include "platform/wall_clock.h"

namespace velk2 {

QtPlatform::QtPlatform()
    : wake_(std::make_unique<QTimer>()),
      pump_(*this, {[this] { sync_window(); },
                    [this](std::optional<std::int64_t> until_ms) { return deliver(until_ms); }}),
      script_(dialog_script_from(process_env("VELK2_DIALOG_ANSWERS"),
                                 process_env("VELK2_NO_DIALOGS"))) {
    wake_->setSingleShot(true);
    wake_->setTimerType(Qt::PreciseTimer);
    // The program ends when its own loop sees the window gone, never because
    // Qt saw its last window close.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    if (!script_.error.empty()) diag(script_.error);
    const std::string mouse = mouse_state_problem(qPrintable(QGuiApplication::platformName()));
    if (!mouse.empty()) diag(mouse);
}

QtPlatform::~QtPlatform() = default;

void QtPlatform::attach(Window& window) {
    window_ = &window;
    pump_.attach(window);
    qt_window_ = std::make_unique<QtWindow>(
        window, [this](const std::function<void()>& handler) { pump_.run_handler(handler); });
}

QWidget* QtPlatform::form() const {
    return qt_window_ ? qt_window_->form() : nullptr;
}

// ---------------------------------------------------------------- clock

double QtPlatform::seconds_since_midnight() {
    return QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
}

std::int64_t QtPlatform::monotonic_ms() {
    return steady_ms();
}

void QtPlatform::pause(int ms) {
    sleep_ms(ms);
    check_interrupt();
}

void QtPlatform::check_interrupt() {
    if (const int signal = EndSignals::arrived()) throw Interrupted{signal};
}

// ---------------------------------------------------------------- events

void QtPlatform::sync_window() {
    if (!qt_window_) return;
    qt_window_->sync();
    qt_window_->present();
}

bool QtPlatform::deliver(std::optional<std::int64_t> until_ms) {
    const std::int64_t now = monotonic_ms();
    if (until_ms && *until_ms <= now) {
        QCoreApplication::processEvents();
        return true;
    }
    if (until_ms) wake_->start(int(std::min<std::int64_t>(*until_ms - now, INT_MAX)));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    wake_->stop();
    return true;
}

void QtPlatform::process_events() {
    pump_.process_events();
}

bool QtPlatform::wait_event() {
    return pump_.wait_event();
}

void QtPlatform::close_window() {
    if (qt_window_)
        qt_window_->close();
    else if (window_)
        window_->exists = false;
}

int QtPlatform::mouse_buttons() {
    return held_mouse_buttons();
}

// ---------------------------------------------------------------- dialogs

void QtPlatform::message_box(const std::string& text, const std::string& title) {
    check_interrupt();
    if (script_.scripted_messages) {
        diag(message_line(title, text));
        return;
    }
    sync_window(); // the window behind the box shows the state that led to it
    show_message_box(form(), text, title);
    check_interrupt(); // an end signal closes the box
}

std::string QtPlatform::file_dialog(const FileDialogRequest& request, bool save) {
    check_interrupt();
    if (script_.scripted_files) {
        std::string answer = take_file_answer(script_);
        if (answer.empty()) return answer;
        std::error_code ec;
        const auto full = std::filesystem::absolute(std::filesystem::path(answer), ec);
        return ec ? answer : full.string();
    }
    sync_window();
    std::string chosen = choose_file(form(), request, save);
    check_interrupt(); // an end signal cancels the dialog: nothing is saved
    return chosen;
}

// ---------------------------------------------------------------- the rest

bool QtPlatform::settings_usable() {
    const std::string problem = settings_file_problem();
    if (!problem.empty() && !settings_problem_told_) {
        diag(problem);
        settings_problem_told_ = true;
    }
    return problem.empty();
}

std::string QtPlatform::read_setting(const std::string& section, const std::string& key) {
    return settings_usable() ? read_ini_setting(section, key) : std::string();
}

void QtPlatform::store_setting(const std::string& section, const std::string& key,
                               const std::string& value) {
    // A settings file that cannot be written loses the remembered choices
    // only; the program goes on as with a missing store, but says so.
    if (settings_usable() && !store_ini_setting(section, key, value))
        diag("settings not stored: " + section + "/" + key);
}

void QtPlatform::diag(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

std::unique_ptr<SerialPort> QtPlatform::new_port() {
    return make_os_serial_port();
}

std::string QtPlatform::device_for(const std::string& port_name) {
    // A name that leads nowhere must not open some other file.
    const PortMapping m = map_port(port_name);
    return m.problem.empty() ? m.device : std::string();
}

PortMapping QtPlatform::map_port(const std::string& port_name) {
    return map_port_name(port_name, process_env,
                         [this](const std::string& key) { return read_setting("PORTS", key); });
}

bool QtPlatform::load_picture(const std::string& path) {
    QImageReader reader(path_to_qstring(path));
    return !reader.read().isNull();
}

} // namespace velk2
