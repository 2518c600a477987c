#include "line.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace boxsim {
namespace {

struct SpeedPair {
    speed_t code;
    int baud;
};

constexpr SpeedPair speeds[] = {
    {B1200, 1200},     {B2400, 2400},   {B4800, 4800},     {B9600, 9600},     {B19200, 19200},
    {B38400, 38400},   {B57600, 57600}, {B115200, 115200}, {B230400, 230400},
#ifdef B460800
    {B460800, 460800},
#endif
};

// Neither 38400, 115200 nor 230400: the PC's first open is a visible change.
constexpr int idle_baud = 9600;

std::string os_error(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

bool make_raw(int fd, int baud) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return false;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS | CSTOPB | PARENB);
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    const auto code = static_cast<speed_t>(speed_code(baud));
    if (cfsetispeed(&t, code) != 0 || cfsetospeed(&t, code) != 0) return false;
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

} // namespace

unsigned long speed_code(int baud) {
    for (const auto& pair : speeds) {
        if (pair.baud == baud) return pair.code;
    }
    return B0;
}

int baud_of_speed(unsigned long code) {
    for (const auto& pair : speeds) {
        if (pair.code == code) return pair.baud;
    }
    return 0;
}

std::unique_ptr<Line> Line::open_pty(std::string& error) {
    std::unique_ptr<Line> line(new Line());
    line->fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (line->fd_ < 0) {
        error = os_error("posix_openpt");
        return nullptr;
    }
    if (grantpt(line->fd_) != 0 || unlockpt(line->fd_) != 0) {
        error = os_error("grantpt/unlockpt");
        return nullptr;
    }
    const char* name = ptsname(line->fd_);
    if (name == nullptr) {
        error = os_error("ptsname");
        return nullptr;
    }
    line->path_ = name;
    line->own_slave_ = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (line->own_slave_ < 0) {
        error = os_error("opening the slave");
        return nullptr;
    }
    // Raw from the start: a slave in its default cooked mode would echo the
    // box's bytes back into the box before the PC has opened the port.
    if (!make_raw(line->own_slave_, idle_baud)) {
        error = os_error("setting the slave raw");
        return nullptr;
    }
#ifdef TIOCPKT
    // Packet mode reports the PC's flushes: it flushes when it opens the port.
    int on = 1;
    line->packet_mode_ = ioctl(line->fd_, TIOCPKT, &on) == 0;
#endif
    return line;
}

std::unique_ptr<Line> Line::open_device(const std::string& path, int baud, std::string& error) {
    std::unique_ptr<Line> line(new Line());
    line->path_ = path;
    line->fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (line->fd_ < 0) {
        error = os_error(("opening " + path).c_str());
        return nullptr;
    }
    if (!make_raw(line->fd_, baud)) {
        error = os_error(("setting up " + path).c_str());
        return nullptr;
    }
    line->device_baud_ = baud;
    tcflush(line->fd_, TCIOFLUSH);
    return line;
}

Line::~Line() {
    hang_up();
}

std::optional<Line::Rates> Line::pc_rates() const {
    if (!simulated() || fd_ < 0) return std::nullopt;
    // On a pty the master reports the slave's settings: the PC's.
    termios t{};
    if (tcgetattr(fd_, &t) != 0) return std::nullopt;
    Rates rates;
    rates.pc_sends = baud_of_speed(cfgetospeed(&t));
    const speed_t in = cfgetispeed(&t);
    rates.pc_hears = in == B0 ? rates.pc_sends : baud_of_speed(in);
    return rates;
}

Line::Input Line::read_some() {
    Input input;
    if (fd_ < 0) return input;
    char buffer[4097];
    const ssize_t n = read(fd_, buffer, sizeof buffer);
    if (n < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) input.failed = true;
        return input;
    }
    if (!packet_mode_) {
        input.bytes.assign(buffer, static_cast<std::size_t>(n));
    } else if (n > 0 && buffer[0] == 0) {
        input.bytes.assign(buffer + 1, static_cast<std::size_t>(n - 1));
    } else if (n > 0) {
        input.pc_touched = true;
    }
    return input;
}

std::optional<std::size_t> Line::write_some(std::string_view bytes) {
    if (fd_ < 0) return std::nullopt;
    if (bytes.empty()) return 0;
    const ssize_t n = write(fd_, bytes.data(), bytes.size());
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return 0;
        return std::nullopt;
    }
    return static_cast<std::size_t>(n);
}

bool Line::set_device_baud(int baud) {
    if (simulated() || fd_ < 0) return false;
    tcdrain(fd_);
    if (!make_raw(fd_, baud)) return false;
    device_baud_ = baud;
    return true;
}

std::size_t Line::unread_by_pc() const {
    int count = 0;
    if (own_slave_ < 0 || ioctl(own_slave_, FIONREAD, &count) != 0 || count < 0) return 0;
    return static_cast<std::size_t>(count);
}

void Line::discard_unread_by_pc() {
    if (own_slave_ >= 0) tcflush(own_slave_, TCIFLUSH);
}

void Line::hang_up() {
    if (fd_ >= 0) close(fd_);
    if (own_slave_ >= 0) close(own_slave_);
    fd_ = -1;
    own_slave_ = -1;
}

} // namespace boxsim
