// The serial line on POSIX systems: a termios tty in raw 8N1 mode whose reads
// are timed with poll so that they behave like a COM port with the 1-ms
// time-out record. Same shape as serial_win32.cpp.
#include "platform/serial_port.h"

#include "platform/line_rates.h"
#include "platform/line_read_back.h"
#include "platform/low_latency.h"
#include "platform/port_listing.h"
#include "platform/write_limit.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

namespace velk2 {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Silence after a byte that ends a read (the record's interval time-out).
constexpr milliseconds kByteGap{1};
// Longest wait for a first byte before set_timeouts (plain open).
constexpr milliseconds kPlainFirstByte{1};
// Upper bound of one read's wait, so that an absurd count cannot overflow the clock.
constexpr std::size_t kMaxReadWaitMs = 60'000;
// Bytes taken from the tty per read() call.
constexpr std::size_t kChunk = 4096;

// The termios constant of each of the box's rates (line_rates.h).
speed_t speed_code(long long bits_per_s) {
    switch (bits_per_s) {
    case 38400:
        return B38400;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    }
    return B0;
}

long long rate_of(speed_t code) {
    for (const long long rate : line_rates)
        if (speed_code(rate) == code) return rate;
    return 0;
}

LineReadBack read_back(const termios& t) {
    LineReadBack took;
    took.rate = rate_of(cfgetospeed(&t));
    took.input_rate = rate_of(cfgetispeed(&t));
    switch (t.c_cflag & CSIZE) {
    case CS5:
        took.data_bits = 5;
        break;
    case CS6:
        took.data_bits = 6;
        break;
    case CS7:
        took.data_bits = 7;
        break;
    default:
        took.data_bits = 8;
    }
    took.parity = (t.c_cflag & PARENB) != 0;
    took.stop_bits = (t.c_cflag & CSTOPB) != 0 ? "2" : "1";
    took.line_editing = (t.c_lflag & ICANON) != 0;
    return took;
}

// Raw 8N1 without flow control, built on what the device holds so that the
// fields we do not care about keep their values. Parity checking, break and
// error marking are off so that a byte received with a framing error (a box
// talking at another rate) is delivered as it was sampled: one "C" sent at
// 115200 arrives at 230400 as 0x1E 0xFE, and the upload relies on seeing that.
termios line_settings(termios t, speed_t speed) {
    t.c_iflag &= ~(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR | ICRNL |
                   IXON | IXOFF | IXANY);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB);
#ifdef CRTSCTS
    t.c_cflag &= ~CRTSCTS;
#endif
#ifdef CMSPAR
    t.c_cflag &= ~CMSPAR;
#endif
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    // Reads never block in the kernel: all waiting is done by poll below.
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    return t;
}

enum class Ready { yes, timed_out, lost };

int poll_for(pollfd& p, Clock::duration left) {
#ifdef __linux__
    // ppoll keeps the sub-millisecond part of the 1-ms time-outs.
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    const timespec limit{static_cast<time_t>(ns / 1'000'000'000),
                         static_cast<long>(ns % 1'000'000'000)};
    return ppoll(&p, 1, &limit, nullptr);
#else
    const auto ms = std::chrono::ceil<milliseconds>(left).count();
    return ::poll(&p, 1, static_cast<int>(ms));
#endif
}

// Waits until the tty is ready for `events` or `deadline` passes. A deadline
// already past still looks once, so bytes that have arrived are taken.
// Readiness is reported before a hang-up so that bytes a closing peer left
// behind are still read; the read or write then meets the hang-up itself.
Ready wait_for(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int r = poll_for(p, std::max(Clock::duration::zero(), deadline - Clock::now()));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return Ready::lost;
        if (r == 0) return Ready::timed_out;
        return (p.revents & events) != 0 ? Ready::yes : Ready::lost;
    }
}

bool retryable(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

class PosixSerialPort final : public SerialPort {
  public:
    PosixSerialPort(std::unique_ptr<SerialFlags> flags, std::string sysfs_root)
        : flags_(std::move(flags)), sysfs_root_(std::move(sysfs_root)) {}
    ~PosixSerialPort() override { close(); }

    bool open(const std::string& device, const std::string& baud) override;
    bool set_timeouts() override;
    bool read_line_record(std::string& record) override;
    bool apply_line_settings(const std::string& baud) override;
    std::string read(std::size_t n) override;
    bool write(const std::string& bytes) override;
    void close() override;
    bool is_open() const override { return fd_ >= 0; }
    bool line_lost() const override { return lost_; }
    std::string open_error() const override { return open_error_; }
    std::string denied_group() const override { return denied_group_; }
    std::string open_note() const override { return open_note_; }
    std::optional<int> slow_adapter_ms() const override { return slow_adapter_ms_; }

  private:
    // Records why the open or a set-up step failed; always false.
    bool refuse(const std::string& why) {
        open_error_ = why;
        return false;
    }
    // The same for a system call that failed: the step, then errno's words.
    bool os_refusal(const std::string& step) { return refuse(step + ": " + std::strerror(errno)); }

    std::string slow_adapter_hint(const std::string& device);

    std::unique_ptr<SerialFlags> flags_;
    std::string sysfs_root_; // "/" of sysfs: "" on the machine itself
    LowLatency low_latency_;
    std::optional<int> slow_adapter_ms_;
    int fd_ = -1;
    std::string open_error_;
    std::string denied_group_;
    std::string open_note_;
    std::string noted_;  // device + note last given, so that reopening says it once
    termios saved_{};    // the line as we found it, handed back at close
    bool timed_ = false; // set_timeouts was called since the open
    bool lost_ = false;
    long long bits_per_s_ = 38400;
};

bool PosixSerialPort::open(const std::string& device, const std::string& baud) {
    close();
    open_error_.clear();
    denied_group_.clear();
    open_note_.clear();
    if (!line_rate(baud)) return refuse("no such rate " + baud);
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        // The members of the device's group may open it (dialout, as a rule).
        if (error == EACCES || error == EPERM) denied_group_ = owner_group(device);
        return refuse(std::strerror(error));
    }
    // A COM port is opened exclusively; the advisory lock gives the same to
    // two copies of the program pointed at one line. tcgetattr fails on
    // anything that is not a tty.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return refuse("in use by another program");
    }
    if (tcgetattr(fd, &saved_) != 0) {
        ::close(fd);
        return refuse("not a serial line");
    }
    fd_ = fd;
    timed_ = false;
    lost_ = false;
    // From here on close() hands the driver's flags back with the line.
    std::string note = low_latency_.request(*flags_, fd_);
    if (!note.empty())
        note = "the driver kept its latency (" + note + "); the port works, more slowly";
    // Bytes that reached the line before this open belong to nobody: a
    // freshly opened port starts empty.
    bool set_up = apply_line_settings(baud);
    if (set_up && tcflush(fd_, TCIFLUSH) != 0) set_up = os_refusal("pending input not discarded");
    if (!set_up) {
        close();
        return false;
    }
    const std::string hint = slow_adapter_hint(device);
    if (!hint.empty()) note += (note.empty() ? "" : "; ") + hint;
    if (noted_ != device + note) open_note_ = note;
    noted_ = device + note;
    return true;
}

// What the driver reports after our request: an FTDI adapter whose timer is
// still above a few ms (the driver took no low latency) costs every reply.
std::string PosixSerialPort::slow_adapter_hint(const std::string& device) {
    slow_adapter_ms_.reset();
    std::error_code ec;
    const std::string name = std::filesystem::canonical(device, ec).filename().string();
    if (ec) return {};
    SerialDevice facts;
    facts.path = "/dev/" + name;
    read_driver_facts(sysfs_root_, name, facts);
    const std::string hint = latency_hint(facts);
    if (!hint.empty()) slow_adapter_ms_ = facts.latency_ms;
    return hint;
}

bool PosixSerialPort::set_timeouts() {
    // No device call is needed: the record lives in read() below. The line
    // must still answer, as SetCommTimeouts on a vanished port would fail.
    termios now{};
    if (fd_ < 0) return refuse("not open");
    if (tcgetattr(fd_, &now) != 0) return os_refusal("time-outs refused");
    timed_ = true;
    return true;
}

bool PosixSerialPort::read_line_record(std::string& record) {
    termios now;
    std::memset(&now, 0, sizeof now); // the record is written out whole, padding included
    if (fd_ < 0) return refuse("not open");
    if (tcgetattr(fd_, &now) != 0) return os_refusal("line record unreadable");
    record.assign(reinterpret_cast<const char*>(&now), sizeof now);
    return true;
}

bool PosixSerialPort::apply_line_settings(const std::string& baud) {
    const auto rate = line_rate(baud);
    if (fd_ < 0) return refuse("not open");
    if (!rate) return refuse("no such rate " + baud);
    termios now{};
    if (tcgetattr(fd_, &now) != 0) return os_refusal("line settings unreadable");
    const termios wanted = line_settings(now, speed_code(*rate));
    if (tcsetattr(fd_, TCSANOW, &wanted) != 0) return os_refusal("line settings refused");
    // tcsetattr reports success when any one change took, so read the line
    // back and check what matters.
    termios took{};
    if (tcgetattr(fd_, &took) != 0) return os_refusal("line settings unreadable");
    if (const std::string wrong = read_back_mismatch(read_back(took), *rate); !wrong.empty())
        return refuse(wrong);
    bits_per_s_ = *rate;
    return true;
}

// A read ends when n bytes have arrived, kByteGap after the last byte without
// a further one, or n + 1 ms after the call. Before set_timeouts the wait for
// a first byte is kPlainFirstByte instead of the whole n + 1 ms.
std::string PosixSerialPort::read(std::size_t n) {
    std::string got;
    if (fd_ < 0 || n == 0) return got;
    const auto start = Clock::now();
    const auto last_moment = start + milliseconds(std::min(n, kMaxReadWaitMs) + 1);
    auto deadline = timed_ ? last_moment : std::min(last_moment, start + kPlainFirstByte);
    char chunk[kChunk];
    while (got.size() < n) {
        const Ready ready = wait_for(fd_, POLLIN, deadline);
        if (ready == Ready::timed_out) break;
        if (ready == Ready::yes) {
            const ssize_t k = ::read(fd_, chunk, std::min(kChunk, n - got.size()));
            if (k > 0) {
                got.append(chunk, static_cast<std::size_t>(k));
                deadline = std::min(last_moment, Clock::now() + kByteGap);
                continue;
            }
            if (k < 0 && retryable(errno)) {
                if (Clock::now() >= deadline) break;
                continue;
            }
            // Readable yet empty (a hung-up tty) or an I/O error: fall through.
        }
        // The device has gone. Take the time a silent line would take, so
        // that a caller polling in a loop waits instead of spinning.
        lost_ = true;
        std::this_thread::sleep_until(deadline);
        break;
    }
    return got;
}

// write() hands the bytes to the kernel and returns; waiting for them to
// leave the wire (tcdrain) would only add latency between a block and the
// read of its answer.
bool PosixSerialPort::write(const std::string& bytes) {
    if (fd_ < 0) return false;
    const auto deadline = Clock::now() + milliseconds(write_limit_ms(bytes.size(), bits_per_s_));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t k = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (k > 0) {
            done += static_cast<std::size_t>(k);
            continue;
        }
        if (k < 0 && errno == EINTR) continue;
        if (k < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const Ready ready = wait_for(fd_, POLLOUT, deadline);
            if (ready == Ready::yes) continue;
            // Timed out: the line has stopped taking bytes, as good as gone.
        }
        lost_ = true;
        return false;
    }
    return true;
}

void PosixSerialPort::close() {
    if (fd_ < 0) return;
    // Hand the line back as we found it. TCSADRAIN lets the last bytes we
    // wrote leave at our rate first, except on a lost line, where they
    // would never leave; errors are of no use at this point.
    if (lost_) tcflush(fd_, TCOFLUSH);
    tcsetattr(fd_, TCSADRAIN, &saved_);
    low_latency_.hand_back(*flags_, fd_);
    ::close(fd_);
    fd_ = -1;
    timed_ = false;
}

} // namespace

std::unique_ptr<SerialPort> make_posix_serial_port(std::unique_ptr<SerialFlags> flags,
                                                   const std::string& sysfs_root) {
    return std::make_unique<PosixSerialPort>(std::move(flags), sysfs_root);
}

std::unique_ptr<SerialPort> make_os_serial_port() {
    return make_posix_serial_port(make_driver_serial_flags(), "");
}

} // namespace velk2
