#include "platform/low_latency.h"

#include <cerrno>
#include <cstring>

#ifdef __linux__
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

namespace velk2 {

namespace {

bool no_such_call(int error) {
    return error == ENOTTY || error == EINVAL;
}

#ifdef __linux__
static_assert(low_latency_flag == ASYNC_LOW_LATENCY);

class DriverSerialFlags final : public SerialFlags {
  public:
    int read(int fd, int& flags) override {
        serial_struct s{};
        if (ioctl(fd, TIOCGSERIAL, &s) != 0) return errno;
        flags = s.flags;
        return 0;
    }
    // The other fields are written back as the driver gave them.
    int write(int fd, int flags) override {
        serial_struct s{};
        if (ioctl(fd, TIOCGSERIAL, &s) != 0) return errno;
        s.flags = flags;
        return ioctl(fd, TIOCSSERIAL, &s) != 0 ? errno : 0;
    }
};
#else
class DriverSerialFlags final : public SerialFlags {
  public:
    int read(int, int&) override { return ENOTTY; }
    int write(int, int) override { return ENOTTY; }
};
#endif

} // namespace

std::unique_ptr<SerialFlags> make_driver_serial_flags() {
    return std::make_unique<DriverSerialFlags>();
}

std::string LowLatency::request(SerialFlags& calls, int fd) {
    earlier_.reset();
    int flags = 0;
    if (const int error = calls.read(fd, flags); error != 0) {
        if (no_such_call(error)) return {};
        return std::string("its serial flags are unreadable: ") + std::strerror(error);
    }
    if ((flags & low_latency_flag) != 0) return {};
    if (const int error = calls.write(fd, flags | low_latency_flag); error != 0) {
        if (no_such_call(error)) return {};
        return std::string("low latency refused: ") + std::strerror(error);
    }
    earlier_ = flags;
    // A driver may take the call and keep its own flags: read them back.
    int now = 0;
    if (const int error = calls.read(fd, now); error != 0)
        return std::string("its serial flags are unreadable: ") + std::strerror(error);
    if ((now & low_latency_flag) == 0) return "low latency read back off";
    return {};
}

void LowLatency::hand_back(SerialFlags& calls, int fd) {
    if (earlier_) calls.write(fd, *earlier_); // nothing to be done about a refusal here
    earlier_.reset();
}

} // namespace velk2
