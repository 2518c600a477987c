// The tiny seam between the protocols and a serial line. One implementation
// per OS (serial_posix.cpp, serial_win32.cpp) plus the scripted line of the
// headless platform. The steps mirror what opening a COM port involves so that
// the port connection can fail at exactly the step that failed.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace velk2 {

class SerialPort {
  public:
    virtual ~SerialPort() = default;

    // Opens the device read/write at `baud` ("38400", "115200", "230400"),
    // 8 data bits, no parity, 1 stop bit, no flow control, raw bytes; input
    // that was pending before the open is discarded. Reads then return what
    // has arrived, waiting at most 1 ms for a first byte (plain behaviour).
    // An open port is closed first; line_lost() starts false. False for any
    // other rate and for a device that is absent, in use or not a serial line.
    virtual bool open(const std::string& device, const std::string& baud) = 0;

    // Switches reads to the 1-ms time-out record: a read of n bytes returns
    // when n bytes have arrived, or 1 ms after the last byte without a
    // further one, or n + 1 ms after the call at the latest.
    virtual bool set_timeouts() = 0;

    // The line-settings record as the device holds it now ("dcb1" content):
    // the 28-byte DCB on Windows, the bytes of struct termios on POSIX.
    virtual bool read_line_record(std::string& record) = 0;

    // Rebuilds the line settings from baud + ",n,8,1" and applies them.
    virtual bool apply_line_settings(const std::string& baud) = 0;

    // At most n bytes in arrival order; bytes not taken stay for the next
    // read. Empty at once on a closed port. Never spins: on a line that has
    // gone away it sets line_lost() and still waits out its time-out.
    virtual std::string read(std::size_t n) = 0;

    // Writes the bytes unchanged; dropped on a closed port. Bounded: a write
    // may take the bytes' time on the line plus a margin (write_limit.h).
    // False when the line refused them (device gone, or the line stalled past
    // that bound); either way the line is lost from then on.
    virtual bool write(const std::string& bytes) = 0;

    // Hands the line settings back as they were before the open.
    virtual void close() = 0;
    virtual bool is_open() const = 0;

    // True once a read or write met a vanished device (adapter unplugged,
    // peer gone) or a write ran out of time, since the last open.
    virtual bool line_lost() const = 0;

    // Why the last open or set-up step (set_timeouts, read_line_record,
    // apply_line_settings) failed: what did not take, e.g. "line settings
    // read back 115200 baud instead of 230400", and the OS's words only where
    // an OS call failed. "" after a good open.
    virtual std::string open_error() const = 0;

    // When the last open was refused for want of permission: the group that
    // owns the device (its members may open it); "" otherwise.
    virtual std::string denied_group() const { return {}; }

    // After a good open: something the port could not set up and works
    // without (the driver refused low latency, ...), for one diagnostic
    // line; "" when there is nothing to say, or it was said at an earlier
    // open of the same device.
    virtual std::string open_note() const { return {}; }

    // After a good open: the latency timer of a USB adapter behind the port
    // that still holds replies longer than a few ms; nothing otherwise.
    virtual std::optional<int> slow_adapter_ms() const { return std::nullopt; }
};

// The serial backend of the build platform.
std::unique_ptr<SerialPort> make_os_serial_port();

#ifndef _WIN32
class SerialFlags;
// The POSIX backend reaching the driver's serial flags through `flags` and
// reading the adapter's sysfs under `sysfs_root` ("" on the machine itself).
std::unique_ptr<SerialPort> make_posix_serial_port(std::unique_ptr<SerialFlags> flags,
                                                   const std::string& sysfs_root);
#endif

} // namespace velk2
