// The box's end of the serial line: the master side of a new pseudo-terminal
// (the PC opens the slave), or a real serial device.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace boxsim {

class Line {
  public:
    // The rates the PC has set on its end (pty only).
    struct Rates {
        int pc_sends = 0;
        int pc_hears = 0;
        bool operator==(const Rates&) const = default;
    };

    struct Input {
        std::string bytes;
        bool pc_touched = false; // the PC flushed its port (it does so when it opens it)
        bool failed = false;
    };

    // A new pseudo-terminal. The simulator keeps its own descriptor of the
    // slave open, so that the master does not hang up each time the PC closes
    // the port, and sets it raw at an idle rate the PC never uses, so that
    // the PC's first open shows as a change of rate.
    static std::unique_ptr<Line> open_pty(std::string& error);
    // A real device, raw 8N1 at `baud`. The physical line does the garbling.
    static std::unique_ptr<Line> open_device(const std::string& path, int baud, std::string& error);

    ~Line();
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    const std::string& path() const { return path_; }
    // True on a pseudo-terminal: rates are the simulator's to model.
    bool simulated() const { return own_slave_ >= 0; }
    int fd() const { return fd_; }
    bool is_open() const { return fd_ >= 0; }

    std::optional<Rates> pc_rates() const;

    Input read_some();
    // Writes what the line takes now; empty on failure.
    std::optional<std::size_t> write_some(std::string_view bytes);

    // A real device: waits until sent bytes have left, then changes the rate.
    bool set_device_baud(int baud);
    int device_baud() const { return device_baud_; }

    // Bytes the box sent that the PC has not read yet (pty only).
    std::size_t unread_by_pc() const;
    void discard_unread_by_pc();

    // Closes the line; on a pty the PC's device node goes away.
    void hang_up();

  private:
    Line() = default;

    std::string path_;
    int fd_ = -1;
    int own_slave_ = -1;
    int device_baud_ = 0;
    bool packet_mode_ = false;
};

// The termios speed of a rate, and back; 0 for rates this program does not know.
unsigned long speed_code(int baud);
int baud_of_speed(unsigned long code);

} // namespace boxsim
