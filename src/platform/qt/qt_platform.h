// The real platform: wall clock, the window frm1 on screen through Qt, Qt's
// dialogs and settings store, standard error as the diagnostic output and the
// OS serial backend. Create it after the QApplication and destroy it before.
//
// The events run through the shared event pump (event_pump.h), not a Qt
// event loop: Qt delivers its events once, waking for the next window timer,
// and the widgets are brought in line with the window model. Handlers that
// widgets call (clicks, the close box) run inside Qt's event delivery, where
// an exception must not pass; the pump throws it again.
//
// SIGTERM, SIGINT and SIGHUP are caught while the platform lives (see
// end_signals.h) and thrown as Interrupted from its safe points.
//
// Unattended runs: see dialog_script.h (VELK2_DIALOG_ANSWERS, VELK2_NO_DIALOGS).
#pragma once

#include <memory>

#include "platform/dialog_script.h"
#include "platform/event_pump.h"
#include "platform/platform.h"
#include "platform/qt/end_signals.h"

class QTimer;
class QWidget;

namespace velk2 {

class QtWindow;

class QtPlatform : public Platform {
  public:
    QtPlatform();
    ~QtPlatform() override;
    QtPlatform(const QtPlatform&) = delete;
    QtPlatform& operator=(const QtPlatform&) = delete;

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
    PortMapping map_port(const std::string& port_name) override;
    bool load_picture(const std::string& path) override;

    // The window on screen once attached, else null.
    QWidget* form() const;

  private:
    void sync_window();
    bool deliver(std::optional<std::int64_t> until_ms);
    // False while the settings file cannot be used; says why, once.
    bool settings_usable();

    Window* window_ = nullptr;
    std::unique_ptr<QtWindow> qt_window_;
    std::unique_ptr<QTimer> wake_; // ends a wait when the next window timer is due
    EventPump pump_;
    DialogScript script_;
    EndSignals end_signals_;
    bool settings_problem_told_ = false;
};

} // namespace velk2
