// Runtime services that the shell and the transfers take from the platform:
// clock and pause, event pump, abort test, dialogs, settings, diagnostics and
// serial ports. Two implementations exist: the Qt one (wall clock, real
// window, OS serial backend) and the headless one of the tests (virtual
// clock, scripted dialogs, scripted box).
#pragma once

#include <csignal>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "platform/device_names.h"
#include "platform/serial_port.h"
#include "platform/window_model.h"

namespace velk2 {

// SIGTERM, SIGINT or SIGHUP asked the program to end. Thrown from the
// platform's safe points and from the port reads and writes, so that the
// transfers' end steps close the port (handing the line back as it was) while
// the stack unwinds. Deliberately no std::exception: the handlers of ordinary
// errors must not take it for one.
struct Interrupted {
    int signal;
};

// "SIGTERM", "SIGINT", "SIGHUP", or the number for any other signal.
inline std::string signal_name(int signal) {
    switch (signal) {
    case SIGTERM:
        return "SIGTERM";
    case SIGINT:
        return "SIGINT";
#ifdef SIGHUP
    case SIGHUP:
        return "SIGHUP";
#endif
    default:
        return "signal " + std::to_string(signal);
    }
}

struct FileDialogRequest {
    std::string title;
    std::string folder;       // folder to start in ("" = current directory)
    std::string pattern;      // e.g. "*.DSP"; several separated by blanks
    std::string default_name; // file name proposed in the dialog
};

class Platform {
  public:
    virtual ~Platform() = default;

    // The window this platform shows and whose timers it runs.
    virtual void attach(Window& window) = 0;

    // Clock. The seconds clock restarts at midnight; waits that must not be
    // fooled by that use the monotonic milliseconds.
    virtual double seconds_since_midnight() = 0;
    virtual std::int64_t monotonic_ms() = 0;
    // Suspends the caller; no events are processed meanwhile.
    virtual void pause(int ms) = 0;

    // Throws Interrupted once an end signal has arrived; from then on at
    // every call. pause, process_events, wait_event and the dialogs call it
    // themselves, and a signal makes an open dialog return at once.
    virtual void check_interrupt() = 0;

    // Runs the pending events once (clicks, repaints, due timers) without
    // waiting. An exception thrown by a handler is rethrown here.
    virtual void process_events() = 0;
    // Waits for the next event and runs it. False once the window is gone or,
    // on the headless platform, when nothing more can happen.
    virtual bool wait_event() = 0;
    virtual void close_window() = 0;

    // Mouse buttons held now, as a bit set: 1 left, 2 right, 4 middle. Must
    // reflect the current state even when no events are processed.
    virtual int mouse_buttons() = 0;

    // Modal dialogs.
    virtual void message_box(const std::string& text, const std::string& title) = 0;
    // True in the unattended mode, when nobody is there to click: message
    // boxes only go to standard error, and a run that cannot do what its
    // command line asked ends at once.
    virtual bool unattended() const = 0;
    // The chosen full file name, or "" when cancelled. `save` allows a name
    // that does not exist yet.
    virtual std::string file_dialog(const FileDialogRequest& request, bool save) = 0;

    // Per-user settings of application "VELK2"; an absent key reads as "".
    virtual std::string read_setting(const std::string& section, const std::string& key) = 0;
    virtual void store_setting(const std::string& section, const std::string& key,
                               const std::string& value) = 0;

    // Diagnostic output: one line per call. A reset clears the output where
    // it can be cleared; a stream of lines cannot be, so by default it does
    // nothing.
    virtual void diag(const std::string& line) = 0;
    virtual void diag_reset() {}

    // A new, closed serial port, and the device a port name stands for.
    virtual std::unique_ptr<SerialPort> new_port() = 0;
    virtual std::string device_for(const std::string& port_name) = 0;
    // The device with the rule that chose it, or why the name leads nowhere.
    // A platform whose mapping has no settings maps as device_for does.
    virtual PortMapping map_port(const std::string& port_name) {
        return {device_for(port_name), "", ""};
    }

    // Picture check for the image control: false when the file is no picture.
    virtual bool load_picture(const std::string& path) = 0;
};

} // namespace velk2
