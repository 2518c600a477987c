// The real platform on Windows: wall clock, the window frm1 with native
// controls, the system's dialogs, the registry as the settings store, the
// debugger output (and standard error when there is one) as the diagnostic
// output, and the Win32 serial backend. Create one per thread that shows the
// window; it initialises COM there.
//
// The events run through the shared event pump (event_pump.h), not a message
// loop of its own: the waiting messages are delivered once, waking for the
// next window timer, and the controls are brought in line with the window
// model. Handlers run from the window procedure, where an exception must not
// pass; the pump throws it again.
//
// Ctrl+C and the console's close events are thrown as Interrupted from the
// safe points (see end_events.h).
//
// Unattended runs: see dialog_script.h (VELK2_DIALOG_ANSWERS,
// VELK2_NO_DIALOGS), and VELK2_CLICKS: control names separated by blanks,
// each clicked (a BM_CLICK to its button) when the main loop next waits for
// an event; "close" closes the window with its close box.
#pragma once

#include <deque>
#include <memory>

#include "platform/dialog_script.h"
#include "platform/event_pump.h"
#include "platform/platform.h"
#include "platform/win32/end_events.h"
#include "platform/win32/win32_api.h"

namespace velk2 {

class Win32Window;

class Win32Platform : public Platform {
  public:
    Win32Platform();
    ~Win32Platform() override;
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    void attach(Window& window) override;
    double seconds_since_midnight() override;
    std::int64_t monotonic_ms() override;
    void pause(int ms) override;
    void check_interrupt() override;
    void process_events() override;
    bool wait_event() override;
    void close_window() override;
    int mouse_buttons() override;
    void message_box(const std::string& text, const std::string& title) override;
    bool unattended() const override { return script_.unattended; }
    std::string file_dialog(const FileDialogRequest& request, bool save) override;
    std::string read_setting(const std::string& section, const std::string& key) override;
    void store_setting(const std::string& section, const std::string& key,
                       const std::string& value) override;
    void diag(const std::string& line) override;
    std::unique_ptr<SerialPort> new_port() override;
    std::string device_for(const std::string& port_name) override;
    bool load_picture(const std::string& path) override;

    // The window on screen once attached, else null.
    Win32Window* window() const { return win_.get(); }

  private:
    void sync_window();
    bool deliver(std::optional<std::int64_t> until_ms);
    void next_scripted_click();

    Window* window_ = nullptr;
    std::unique_ptr<Win32Window> win_;
    EventPump pump_;
    DialogScript script_;
    std::deque<std::string> clicks_;
    EndEvents end_events_;
    bool com_ready_ = false;
};

} // namespace velk2
