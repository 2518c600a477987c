// The platform of a program that runs without a window: the station's per-port
// worker. The window model still runs its timers (the upload waits on them),
// but nothing is shown; the clock is the real one, the serial ports are the
// OS's, message boxes are lines on standard error, file dialogs cancel and
// the settings are only read (many workers at once must not rewrite the
// user's file).
//
// Its standard input is the worker's line to the station: read_input takes
// the data it is sent, and from then on the end of that input is the stop
// request, thrown as Interrupted from every safe point, as the end signals
// and console events are (so the transfers' end steps close the port). The
// OS's part is console_io.h.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "platform/console_io.h"
#include "platform/event_pump.h"
#include "platform/platform.h"

namespace velk2 {

class ConsolePlatform : public Platform {
  public:
    // `settings` reads a key of a group of the user's settings ("" when absent).
    using SettingsLookup =
        std::function<std::string(const std::string& section, const std::string& key)>;
    explicit ConsolePlatform(SettingsLookup settings);
    ~ConsolePlatform() override;
    ConsolePlatform(const ConsolePlatform&) = delete;
    ConsolePlatform& operator=(const ConsolePlatform&) = delete;

    // Up to n bytes of standard input, waiting for them; fewer only at its
    // end or when a stop request came. An end seen here cuts the data short
    // and is no stop request.
    std::string read_input(std::size_t n);

    // One line to standard output, written at once.
    void write_output(const std::string& line) { io_.write_output(line); }

    // Called with the text of every message box.
    std::function<void(const std::string& text)> on_message;

    void attach(Window& window) override;
    double seconds_since_midnight() override;
    std::int64_t monotonic_ms() override;
    void pause(int ms) override;
    void check_interrupt() override;
    void process_events() override { pump_.process_events(); }
    bool wait_event() override { return pump_.wait_event(); }
    void close_window() override;
    int mouse_buttons() override { return 0; }
    void message_box(const std::string& text, const std::string& title) override;
    bool unattended() const override { return true; }
    std::string file_dialog(const FileDialogRequest&, bool) override;
    std::string read_setting(const std::string& section, const std::string& key) override;
    void store_setting(const std::string&, const std::string&, const std::string&) override {}
    void diag(const std::string& line) override;
    std::unique_ptr<SerialPort> new_port() override;
    std::string device_for(const std::string& port_name) override;
    PortMapping map_port(const std::string& port_name) override;
    bool load_picture(const std::string&) override { return false; }

  private:
    // Sleeps until the monotonic clock reads `until_ms`, or less when a stop
    // request comes first.
    void sleep_until(std::int64_t until_ms);

    SettingsLookup settings_;
    ConsoleIo io_;
    EventPump pump_;
    Window* window_ = nullptr;
};

} // namespace velk2
