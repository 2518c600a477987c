// The platform of the tests: a virtual clock, scripted dialogs and a scripted
// box on every serial line. Time moves only when the code waits (pause, a
// read's time-out, the main loop's wait for the next event), so every timing
// path is deterministic and a 30-second wait runs in microseconds.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/event_pump.h"
#include "platform/platform.h"

namespace velk2 {

class HeadlessPlatform;

// One serial device of the headless platform, seen from the box's side.
class HeadlessLine {
  public:
    struct Write {
        std::int64_t at_us;
        std::string baud;
        std::string bytes;
    };

    // Bytes from the box arrive at the PC's port `delay_us` from now, one
    // after the other `gap_us` apart (0: all at once).
    void send(const std::string& bytes, std::int64_t delay_us = 0, std::int64_t gap_us = 0);

    // The box's reactions. `on_open` runs at every open of the device.
    std::function<void(HeadlessLine&, const std::string& written)> on_write;
    std::function<void(HeadlessLine&)> on_open;

    bool refuse_open = false;           // the device exists but cannot be opened
    bool refuse_settings = false;       // opens, but its line reads back at 9600 baud
    bool lost = false;                  // the device has vanished
    std::string denied_group;           // not "": only this group's members may open it
    std::string open_note;              // what each good open notes (SerialPort::open_note)
    std::optional<int> slow_adapter_ms; // an adapter that holds replies this long

    std::string baud; // rate of the last open
    bool open = false;
    int open_count = 0;
    std::vector<Write> writes;   // everything the PC wrote, in order
    std::string written() const; // all written bytes back to back

    std::int64_t now_us() const;

  private:
    friend class HeadlessPort;
    friend class HeadlessPlatform;
    explicit HeadlessLine(HeadlessPlatform& p) : platform_(p) {}
    HeadlessPlatform& platform_;
    std::deque<std::pair<std::int64_t, char>> incoming_; // arrival time, byte
};

class HeadlessPlatform : public Platform {
  public:
    HeadlessPlatform();
    ~HeadlessPlatform() override;

    // --- what the tests set up and inspect
    HeadlessLine& add_line(const std::string& port_name);
    HeadlessLine* line(const std::string& port_name);
    // Runs `action` inside event processing once the clock reaches `at_ms`.
    void at(std::int64_t at_ms, std::function<void()> action);
    // An end signal arrives when the clock reaches `at_ms`, wherever the
    // program is then (in a read that no event interrupts, too).
    void signal_at(std::int64_t at_ms, int signal);

    std::int64_t now_us() const { return now_us_; }
    double start_of_day_s = 12 * 3600.0; // seconds clock at virtual time 0
    int mouse = 0;
    // The user holds the right button down from this time on, seen also by
    // loops that run no events.
    std::int64_t right_button_from_us = INT64_MAX;
    std::deque<std::string> file_answers; // "" cancels
    std::vector<FileDialogRequest> file_requests;
    std::vector<std::pair<std::string, std::string>> messages; // text, title
    std::function<void(const std::string& text)> on_message;
    bool unattended_mode = false;
    std::map<std::pair<std::string, std::string>, std::string> settings;
    std::vector<std::string> diag_lines;
    // Where a port name leads; a name not listed is its own device.
    std::map<std::string, PortMapping> port_map;
    int process_events_calls = 0;

    // --- Platform
    void attach(Window& window) override {
        window_ = &window;
        pump_.attach(window);
    }
    double seconds_since_midnight() override;
    std::int64_t monotonic_ms() override { return now_us_ / 1000; }
    void pause(int ms) override;
    void check_interrupt() override;
    void process_events() override;
    bool wait_event() override;
    void close_window() override;
    int mouse_buttons() override { return mouse | (now_us_ >= right_button_from_us ? 2 : 0); }
    void message_box(const std::string& text, const std::string& title) override;
    bool unattended() const override { return unattended_mode; }
    std::string file_dialog(const FileDialogRequest& request, bool save) override;
    std::string read_setting(const std::string& section, const std::string& key) override;
    void store_setting(const std::string& section, const std::string& key,
                       const std::string& value) override;
    void diag(const std::string& line) override { diag_lines.push_back(line); }
    std::unique_ptr<SerialPort> new_port() override;
    std::string device_for(const std::string& port_name) override {
        const PortMapping m = map_port(port_name);
        return m.problem.empty() ? m.device : std::string();
    }
    PortMapping map_port(const std::string& port_name) override {
        auto it = port_map.find(port_name);
        return it == port_map.end() ? PortMapping{port_name, "", ""} : it->second;
    }
    bool load_picture(const std::string& path) override;

  private:
    friend class HeadlessLine;
    friend class HeadlessPort;
    bool deliver(std::optional<std::int64_t> until_ms);

    std::int64_t now_us_ = 0;
    Window* window_ = nullptr;
    std::map<std::string, std::unique_ptr<HeadlessLine>> lines_;
    std::multimap<std::int64_t, std::function<void()>> events_; // by due time in us
    int signal_ = 0;
    std::int64_t signal_us_ = 0;
    EventPump pump_;
};

} // namespace velk2
