// USB serial adapters hold received bytes until a packet fills or their
// latency timer ticks (16 ms on FTDI chips), so a one-byte reply can reach us
// 16 ms late. The driver's low-latency flag makes it hand bytes on at once
// (ftdi_sio runs its timer at 1 ms): asked for at every open, and the flags
// found there handed back at the close, as the line settings are.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace velk2 {

// The driver's serial flags of an open tty. Each call gives 0 or the errno
// of its refusal; a driver without such flags (a pseudo-terminal) answers
// ENOTTY or EINVAL.
class SerialFlags {
  public:
    virtual ~SerialFlags() = default;
    virtual int read(int fd, int& flags) = 0;
    virtual int write(int fd, int flags) = 0;
};

// The flag that asks the driver not to hold received bytes.
inline constexpr int low_latency_flag = 1 << 13;

// The kernel's calls (TIOCGSERIAL, TIOCSSERIAL); where the system has none,
// every call answers ENOTTY.
std::unique_ptr<SerialFlags> make_driver_serial_flags();

class LowLatency {
  public:
    // At an open: reads the flags, sets the low-latency one and reads them
    // back. "" when it took, was set already, or the driver has no such
    // flags; otherwise why not, for one diagnostic line (the port is used as
    // it is).
    std::string request(SerialFlags& calls, int fd);
    // At the close: the flags found at the open, when the open changed them.
    void hand_back(SerialFlags& calls, int fd);

  private:
    std::optional<int> earlier_;
};

} // namespace velk2
