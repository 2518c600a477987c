#include "platform/win32/win32_platform.h"

#include <objbase.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <sstream>
#include <utility>

#include "platform/device_names.h"
#include "platform/os_path.h"
#include "platform/wall_clock.h"
#include "platform/win32/registry_settings.h"
#include "platform/win32/wic_picture.h"
#include "platform/win32/win32_dialogs.h"
#include "platform/win32/win32_window.h"

namespace velk2 {

namespace {

std::deque<std::string> click_script(const std::optional<std::string>& text) {
    std::deque<std::string> names;
    if (!text) return names;
    std::istringstream in(*text);
    for (std::string name; in >> name;) names.push_back(name);
    return names;
}

} // namespace

Win32Platform::Win32Platform()
    : pump_(*this, {[this] { sync_window(); },
                    [this](std::optional<std::int64_t> until_ms) { return deliver(until_ms); }}),
      script_(
          dialog_script_from(process_env("VELK2_DIALOG_ANSWERS"), process_env("VELK2_NO_DIALOGS"))),
      clicks_(click_script(process_env("VELK2_CLICKS"))) {
    // WIC and the file dialogs need COM on the window's thread.
    com_ready_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    if (!script_.error.empty()) diag(script_.error);
}

Win32Platform::~Win32Platform() {
    win_.reset();
    if (com_ready_) CoUninitialize();
}

void Win32Platform::attach(Window& window) {
    window_ = &window;
    pump_.attach(window);
    win_ = std::make_unique<Win32Window>(
        window, [this](const std::function<void()>& handler) { pump_.run_handler(handler); });
}

// ---------------------------------------------------------------- clock

double Win32Platform::seconds_since_midnight() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return t.wHour * 3600.0 + t.wMinute * 60.0 + t.wSecond + t.wMilliseconds / 1000.0;
}

std::int64_t Win32Platform::monotonic_ms() {
    return steady_ms();
}

void Win32Platform::pause(int ms) {
    sleep_ms(ms);
    check_interrupt();
}

void Win32Platform::check_interrupt() {
    if (const int signal = EndEvents::arrived()) throw Interrupted{signal};
}

// ---------------------------------------------------------------- events

void Win32Platform::sync_window() {
    if (!win_) return;
    win_->sync();
    win_->present();
}

bool Win32Platform::deliver(std::optional<std::int64_t> until_ms) {
    const std::int64_t now = monotonic_ms();
    if (!until_ms || *until_ms > now) {
        const DWORD wait =
            until_ms ? DWORD(std::min<std::int64_t>(*until_ms - now, INT_MAX)) : INFINITE;
        MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) continue; // the loop is ours; the model says when to end
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return true;
}

void Win32Platform::process_events() {
    pump_.process_events();
}

void Win32Platform::next_scripted_click() {
    if (clicks_.empty() || !win_) return;
    const std::string name = std::move(clicks_.front());
    clicks_.pop_front();
    if (name == "close") {
        PostMessageW(win_->form(), WM_CLOSE, 0, 0);
    } else if (HWND child = win_->child(name)) {
        PostMessageW(child, BM_CLICK, 0, 0);
    } else {
        diag("no control to click: " + name);
    }
}

bool Win32Platform::wait_event() {
    if (window_ && window_->exists) next_scripted_click();
    return pump_.wait_event();
}

void Win32Platform::close_window() {
    if (win_)
        win_->close();
    else if (window_)
        window_->exists = false;
}

int Win32Platform::mouse_buttons() {
    // The buttons as they are now, not as the last message saw them.
    auto held = [](int key) { return (GetAsyncKeyState(key) & 0x8000) != 0; };
    int swapped = GetSystemMetrics(SM_SWAPBUTTON);
    const int left = held(swapped ? VK_RBUTTON : VK_LBUTTON) ? 1 : 0;
    const int right = held(swapped ? VK_LBUTTON : VK_RBUTTON) ? 2 : 0;
    const int middle = held(VK_MBUTTON) ? 4 : 0;
    return left | right | middle;
}

// ---------------------------------------------------------------- dialogs

void Win32Platform::message_box(const std::string& text, const std::string& title) {
    check_interrupt();
    if (script_.scripted_messages) {
        diag(message_line(title, text));
        return;
    }
    sync_window(); // the window behind the box shows the state that led to it
    show_message_box(win_ ? win_->form() : nullptr, text, title);
    check_interrupt(); // an end event closes the box
}

std::string Win32Platform::file_dialog(const FileDialogRequest& request, bool save) {
    check_interrupt();
    if (script_.scripted_files) {
        std::string answer = take_file_answer(script_);
        if (answer.empty()) return answer;
        std::error_code ec;
        const auto full = std::filesystem::absolute(os_path(answer), ec);
        return ec ? answer : path_text(full);
    }
    sync_window();
    std::string chosen = choose_file(win_ ? win_->form() : nullptr, request, save);
    check_interrupt(); // an end event cancels the dialog: nothing is saved
    return chosen;
}

// ---------------------------------------------------------------- the rest

std::string Win32Platform::read_setting(const std::string& section, const std::string& key) {
    return read_registry_setting(section, key);
}

void Win32Platform::store_setting(const std::string& section, const std::string& key,
                                  const std::string& value) {
    // A store that cannot be written loses the remembered choices only.
    if (!store_registry_setting(section, key, value))
        diag("settings not stored: " + section + "/" + key);
}

void Win32Platform::diag(const std::string& line) {
    const std::wstring wide = widen(line + "\n");
    OutputDebugStringW(wide.c_str());
    // Standard error only when the program was given one (a console, a pipe,
    // a file); a program started from Explorer has none.
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err && err != INVALID_HANDLE_VALUE) {
        const std::string bytes = line + "\n";
        DWORD written = 0;
        WriteFile(err, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    }
}

std::unique_ptr<SerialPort> Win32Platform::new_port() {
    return make_os_serial_port();
}

std::string Win32Platform::device_for(const std::string& port_name) {
    return device_for_port(port_name, process_env);
}

bool Win32Platform::load_picture(const std::string& path) {
    return load_picture_bitmap(path) != nullptr;
}

} // namespace velk2
