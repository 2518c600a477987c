// The POSIX serial backend against real pseudo-terminals: the backend opens
// the slave side, the test plays the box on the master side.
#include "platform/serial_port.h"

#include "platform/low_latency.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <string>
#include <thread>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace velk2 {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

long long ms_since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

std::string all_byte_values() {
    std::string bytes;
    for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<char>(b));
    return bytes;
}

termios attrs(int fd) {
    termios t{};
    EXPECT_EQ(tcgetattr(fd, &t), 0);
    return t;
}

// A pseudo-terminal pair. The test keeps its own handle on the slave so that
// it can read the line settings and count the bytes waiting on the line.
class SerialPosixTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(openpty(&master_, &slave_, nullptr, nullptr, nullptr), 0);
        termios t = attrs(slave_);
        cfmakeraw(&t); // no echo of what the box sends before the port opens
        ASSERT_EQ(tcsetattr(slave_, TCSANOW, &t), 0);
        path_ = ttyname(slave_);
    }
    void TearDown() override {
        port_.reset();
        close_master();
        ::close(slave_);
    }
    void close_master() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }
    // The box writes; returns once the bytes sit on the line unread.
    void box_sends(const std::string& bytes) {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), ssize_t(bytes.size()));
        int pending = 0;
        for (auto start = Clock::now(); ms_since(start) < 2000 && pending < int(bytes.size());) {
            ioctl(slave_, TIOCINQ, &pending);
            std::this_thread::sleep_for(1ms);
        }
    }
    std::string box_receives(std::size_t n, int timeout_ms) {
        std::string got;
        char chunk[4096];
        for (auto start = Clock::now(); got.size() < n && ms_since(start) < timeout_ms;) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 10) <= 0) continue;
            const ssize_t k = ::read(master_, chunk, std::min(sizeof chunk, n - got.size()));
            if (k <= 0) break;
            got.append(chunk, std::size_t(k));
        }
        return got;
    }
    bool open_at(const std::string& baud, bool timed) {
        return port_->open(path_, baud) && (!timed || port_->set_timeouts());
    }
    // The rate as both ends report it: the box simulator learns it from the master.
    void expect_rate(speed_t code) {
        const termios slave = attrs(slave_), master = attrs(master_);
        EXPECT_EQ(cfgetospeed(&slave), code);
        EXPECT_EQ(cfgetispeed(&slave), code);
        EXPECT_EQ(cfgetospeed(&master), code);
    }

    int master_ = -1;
    int slave_ = -1;
    std::string path_;
    std::unique_ptr<SerialPort> port_ = make_os_serial_port();
};

struct RateCase {
    const char* baud;
    speed_t code; // 0: refused
};

void PrintTo(const RateCase& c, std::ostream* os) {
    *os << '"' << c.baud << '"';
}

class RateTest : public SerialPosixTest, public ::testing::WithParamInterface<RateCase> {};

// Only the box's three rates are taken, at the open and when the line is set
// up again; anything else leaves the line as it was.
TEST_P(RateTest, OpenAndLineSettingsSetTheRateOnBothEnds) {
    const auto [baud, code] = GetParam();
    EXPECT_EQ(port_->open(path_, baud), code != 0);
    EXPECT_EQ(port_->is_open(), code != 0);
    if (code) expect_rate(code);
    ASSERT_TRUE(port_->open(path_, "38400"));
    EXPECT_EQ(port_->apply_line_settings(baud), code != 0);
    expect_rate(code ? code : B38400);
}

INSTANTIATE_TEST_SUITE_P(Rates, RateTest,
                         ::testing::Values(RateCase{"38400", B38400}, RateCase{"115200", B115200},
                                           RateCase{"230400", B230400}, RateCase{"9600", 0},
                                           RateCase{"", 0}, RateCase{"115200 ", 0},
                                           RateCase{"2304000", 0}, RateCase{"115200,n,8,1", 0}));

// Start from a line that has every unwanted setting on, so that a flag the
// backend forgets to clear shows up. (A Linux pty keeps CS8 and no parity
// whatever it is told, so those two are only checked, not provoked.) Closing
// hands the line back as it was found.
TEST_F(SerialPosixTest, OpenMakesTheLineRawEightNOneAndCloseRestoresIt) {
    termios dirty = attrs(slave_);
    cfsetspeed(&dirty, B9600);
    dirty.c_cflag = (dirty.c_cflag & ~CSIZE) | CS7 | PARENB | PARODD | CSTOPB | CRTSCTS;
    dirty.c_iflag |= IXON | IXOFF | IXANY | INPCK | PARMRK | ISTRIP | IGNPAR | ICRNL | BRKINT;
    dirty.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    dirty.c_oflag |= OPOST;
    dirty.c_cc[VMIN] = 1;
    dirty.c_cc[VTIME] = 5;
    ASSERT_EQ(tcsetattr(slave_, TCSANOW, &dirty), 0);
    ASSERT_EQ(attrs(slave_).c_cflag & (CSTOPB | CRTSCTS), tcflag_t(CSTOPB | CRTSCTS));

    ASSERT_TRUE(port_->open(path_, "115200"));
    const termios t = attrs(slave_);
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
    EXPECT_EQ(
        t.c_iflag & (IXON | IXOFF | IXANY | INPCK | PARMRK | ISTRIP | IGNPAR | ICRNL | BRKINT), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);

    // The "dcb1" record is the termios in force.
    std::string record;
    ASSERT_TRUE(port_->read_line_record(record));
    ASSERT_EQ(record.size(), sizeof(termios));
    termios saved{};
    std::memcpy(&saved, record.data(), sizeof saved);
    EXPECT_EQ(cfgetospeed(&saved), B115200);
    EXPECT_EQ(saved.c_lflag & ICANON, 0u);

    port_->close();
    expect_rate(B9600);
    EXPECT_EQ(attrs(slave_).c_lflag & (ICANON | ECHO), tcflag_t(ICANON | ECHO));
    EXPECT_FALSE(port_->read_line_record(record));
}

struct ReadCase {
    const char* name;
    bool timed; // after set_timeouts, else a plain open
    std::string waiting;
    std::string late; // sent 150 ms into the read
    std::size_t n;
    std::string expected;
    long long min_ms;
    long long max_ms;
};

void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.name;
}

class ReadTest : public SerialPosixTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadTest, ReturnsWhatArrivedWithinItsTime) {
    const ReadCase& c = GetParam();
    ASSERT_TRUE(open_at("230400", c.timed));
    if (!c.waiting.empty()) box_sends(c.waiting);
    std::thread box([&] {
        if (c.late.empty()) return;
        std::this_thread::sleep_for(150ms);
        EXPECT_EQ(::write(master_, c.late.data(), c.late.size()), ssize_t(c.late.size()));
    });
    const auto start = Clock::now();
    EXPECT_EQ(port_->read(c.n), c.expected);
    const long long elapsed = ms_since(start);
    box.join();
    EXPECT_GE(elapsed, c.min_ms);
    EXPECT_LT(elapsed, c.max_ms);
}

// A read that waited its whole n + 1 ms would break the upper bounds of the
// cases with n = 1000: the 1-ms gap after the last byte ends them.
INSTANTIATE_TEST_SUITE_P(
    Cases, ReadTest,
    ::testing::Values(ReadCase{"SilenceTimedWaitsNPlusOne", true, "", "", 100, "", 100, 300},
                      ReadCase{"SilencePlainWaitsAboutOneMs", false, "", "", 1000, "", 0, 100},
                      ReadCase{"OneByteThenSilenceTimed", true, "C", "", 1000, "C", 0, 100},
                      ReadCase{"OneByteThenSilencePlain", false, "C", "", 1000, "C", 0, 100},
                      ReadCase{"LateByteTimedIsWaitedFor", true, "", "C", 1000, "C", 100, 900},
                      ReadCase{"LateBytePlainIsNot", false, "", "C", 1000, "", 0, 140},
                      ReadCase{"ExactlyNWaiting", true, "\x06\x15\x04", "", 3, "\x06\x15\x04", 0,
                               100},
                      // Control characters, CR/LF, XON/XOFF and 0xFF must not be acted on,
                      // translated, stripped or escaped.
                      ReadCase{"EveryByteValueUnchanged", true, all_byte_values(), "", 256,
                               all_byte_values(), 0, 100}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SerialPosixTest, BytesNotTakenStayAndInputBeforeTheOpenIsDiscarded) {
    box_sends("stale");
    ASSERT_TRUE(open_at("230400", true));
    EXPECT_EQ(port_->read(10), "");
    box_sends("12345");
    EXPECT_EQ(port_->read(3), "123");
    EXPECT_EQ(port_->read(3), "45");
}

class WriteTest : public SerialPosixTest, public ::testing::WithParamInterface<int> {};

// Every byte value unchanged (the first 256 bytes hold each once); more than
// the pty holds at once waits for room and goes on instead of dropping the rest.
TEST_P(WriteTest, EveryByteArrivesInOrder) {
    std::string bytes;
    for (int i = 0; i < GetParam(); ++i) bytes.push_back(char((i * 7 + i / 256) & 0xFF));
    ASSERT_TRUE(open_at("230400", true));
    std::string received;
    std::thread box([&] { received = box_receives(bytes.size(), 10'000); });
    EXPECT_TRUE(port_->write(bytes));
    box.join();
    EXPECT_TRUE(received == bytes) << "received " << received.size() << " of " << bytes.size();
}

INSTANTIATE_TEST_SUITE_P(Sizes, WriteTest, ::testing::Values(256, 300'000));

// Reopening at the other rate (the download alternates every 250 ms) closes
// the port first; a second program on the same line is refused.
TEST_F(SerialPosixTest, OneOpenerPerLine) {
    ASSERT_TRUE(port_->open(path_, "230400"));
    ASSERT_TRUE(port_->open(path_, "115200"));
    expect_rate(B115200);
    auto other = make_os_serial_port();
    EXPECT_FALSE(other->open(path_, "115200"));
    port_->close();
    EXPECT_TRUE(other->open(path_, "115200"));
}

// A user outside the device's group is told which group may open it. The
// line is handed to group dialout and opened by a child that runs as nobody.
TEST_F(SerialPosixTest, PermissionDeniedNamesTheDevicesGroup) {
    const group* dialout = getgrnam("dialout");
    if (geteuid() != 0 || !dialout) GTEST_SKIP() << "needs root and group dialout";
    ASSERT_EQ(chown(path_.c_str(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(chmod(path_.c_str(), 0660), 0);
    const pid_t child = fork();
    if (child == 0) {
        const bool as_nobody =
            setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0;
        const bool denied = as_nobody && !port_->open(path_, "115200") &&
                            port_->open_error() == "Permission denied" &&
                            port_->denied_group() == "dialout";
        _exit(denied ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

struct ClosedCase {
    const char* path; // nullptr: the pseudo-terminal
    bool opened_before;
};

void PrintTo(const ClosedCase& c, std::ostream* os) {
    *os << (c.path ? c.path : "pty") << (c.opened_before ? ", closed" : "");
}

class ClosedPortTest : public SerialPosixTest, public ::testing::WithParamInterface<ClosedCase> {};

// Never opened, closed again, or no serial line at all: reads are empty at
// once and nothing reaches the line.
TEST_P(ClosedPortTest, ReadsEmptyAtOnceAndDropsWrites) {
    const ClosedCase& c = GetParam();
    if (c.path) {
        EXPECT_FALSE(port_->open(c.path, "115200"));
    }
    if (c.opened_before) {
        ASSERT_TRUE(open_at("230400", true));
        port_->close();
    }
    EXPECT_FALSE(port_->is_open());
    const auto start = Clock::now();
    EXPECT_EQ(port_->read(1000), "");
    EXPECT_LT(ms_since(start), 50);
    EXPECT_FALSE(port_->write("C"));
    EXPECT_FALSE(port_->set_timeouts());
    EXPECT_FALSE(port_->apply_line_settings("115200"));
    EXPECT_EQ(box_receives(1, 50), "");
}

INSTANTIATE_TEST_SUITE_P(States, ClosedPortTest,
                         ::testing::Values(ClosedCase{nullptr, false}, ClosedCase{nullptr, true},
                                           ClosedCase{"/nonexistent/velk2-tty", false},
                                           ClosedCase{"/dev/null", false}));

// A driver that stops taking bytes (the line's output held, as a wedged
// adapter holds it) ends the write after the bytes' line time plus the
// margin, and the line counts as lost from then on.
TEST_F(SerialPosixTest, AStalledWriteEndsAsALostLine) {
    ASSERT_TRUE(open_at("230400", false));
    ASSERT_EQ(tcflow(slave_, TCOOFF), 0);
    const auto start = Clock::now();
    EXPECT_FALSE(port_->write("0123456789"));
    const long long elapsed = ms_since(start);
    ASSERT_EQ(tcflow(slave_, TCOON), 0);
    EXPECT_GE(elapsed, 1900);
    EXPECT_LT(elapsed, 4000);
    EXPECT_TRUE(port_->line_lost());
    EXPECT_EQ(box_receives(10, 50), "");
}

class PeerGoneTest : public SerialPosixTest, public ::testing::WithParamInterface<bool> {};

// The box side vanishes (adapter unplugged): reads report the loss and still
// take their time (n + 1 ms timed, 1 ms plain), so a polling loop does not spin.
TEST_P(PeerGoneTest, LineLostAndReadsStillWait) {
    const bool timed = GetParam();
    const long long min_ms = timed ? 100 : 1;
    ASSERT_TRUE(open_at("115200", timed));
    EXPECT_EQ(port_->read(100), "");
    EXPECT_FALSE(port_->line_lost());

    close_master();
    for (int i = 0; i < 3; ++i) {
        const auto start = Clock::now();
        EXPECT_EQ(port_->read(100), "");
        const long long elapsed = ms_since(start);
        EXPECT_GE(elapsed, min_ms);
        EXPECT_LT(elapsed, min_ms + 500);
    }
    EXPECT_TRUE(port_->line_lost());
    EXPECT_FALSE(port_->write("C"));
    EXPECT_TRUE(port_->is_open());
}

INSTANTIATE_TEST_SUITE_P(Modes, PeerGoneTest, ::testing::Bool());

// A driver's serial flags as the fake of a test sets them up: what a read
// gives, what a write answers, and the flags the driver holds.
struct FakeFlags final : SerialFlags {
    struct State {
        int flags = 0;
        int read_error = 0;
        int write_error = 0;
        int dropped = 0; // flags the driver takes and does not keep
        int writes = 0;
    };
    explicit FakeFlags(State& state) : s(state) {}
    int read(int, int& flags) override {
        flags = s.flags;
        return s.read_error;
    }
    int write(int, int flags) override {
        ++s.writes;
        if (s.write_error == 0) s.flags = flags & ~s.dropped;
        return s.write_error;
    }
    State& s;
};

// Every open asks the driver for low latency and every close hands the
// flags back; a driver without the calls (a pseudo-terminal) is silent, any
// other refusal is said once and the port is used all the same.
TEST_F(SerialPosixTest, LowLatencyAskedAtOpenAndHandedBackAtClose) {
    constexpr int other = 0x0040; // a flag of the driver's own that must survive
    const struct {
        const char* what;
        FakeFlags::State driver;
        int while_open; // the driver's flags while the port is open
        int writes;     // set and hand-back
        const char* note;
    } cases[] = {
        {"USB adapter", {other, 0, 0}, other | low_latency_flag, 2, ""},
        {"low latency already set",
         {other | low_latency_flag, 0, 0},
         other | low_latency_flag,
         0,
         ""},
        {"pseudo-terminal", {0, ENOTTY, ENOTTY}, 0, 0, ""},
        {"driver without the flag", {other, 0, EINVAL}, other, 1, ""},
        {"refused", {other, 0, EPERM}, other, 1, "low latency refused: Operation not permitted"},
        {"unreadable", {other, EIO, 0}, other, 0, "serial flags are unreadable: Input/output"},
        {"taken, not kept", {other, 0, 0, low_latency_flag}, other, 2, "low latency read back off"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeFlags::State driver = c.driver;
        port_ = make_posix_serial_port(std::make_unique<FakeFlags>(driver), "");
        for (const char* rate : {"230400", "38400"}) { // the second open says nothing again
            ASSERT_TRUE(port_->open(path_, rate)) << port_->open_error();
            EXPECT_EQ(driver.flags, c.while_open);
            const std::string note = port_->open_note();
            if (*c.note && rate[0] == '2')
                EXPECT_NE(note.find(c.note), std::string::npos) << note;
            else
                EXPECT_EQ(note, "");
            port_->close();
            EXPECT_EQ(driver.flags, c.driver.flags) << "not handed back";
        }
        EXPECT_EQ(driver.writes, 2 * c.writes);
    }
}

// After the open the backend reads what the driver now runs at: an FTDI
// adapter still above 2 ms (the driver took no low latency) is reported
// with its hint; any other device, or a timer it cannot read, is not.
TEST_F(SerialPosixTest, AdapterStillSlowAfterTheOpenIsReported) {
    namespace fs = std::filesystem;
    const struct {
        const char* driver;
        const char* latency_timer; // nullptr: no such attribute
        std::optional<int> slow_ms;
    } cases[] = {
        {"ftdi_sio", "16\n", 16},          {"ftdi_sio", "1\n", std::nullopt},
        {"ftdi_sio", "2\n", std::nullopt}, {"ftdi_sio", nullptr, std::nullopt},
        {"cdc_acm", "16\n", std::nullopt}, {nullptr, nullptr, std::nullopt},
    };
    const std::string name = fs::path(path_).filename().string();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.driver ? c.driver : "no driver") + " " +
                     (c.latency_timer ? c.latency_timer : "-"));
        char pattern[] = "/tmp/velk2-sysfs-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        const std::string root = pattern;
        fs::create_directories(root + "/sys/class/tty/" + name + "/device");
        if (c.driver)
            fs::create_symlink(std::string("../../../bus/usb-serial/drivers/") + c.driver,
                               root + "/sys/class/tty/" + name + "/device/driver");
        if (c.latency_timer) {
            fs::create_directories(root + "/sys/bus/usb-serial/devices/" + name);
            std::FILE* f = std::fopen(
                (root + "/sys/bus/usb-serial/devices/" + name + "/latency_timer").c_str(), "w");
            std::fputs(c.latency_timer, f);
            std::fclose(f);
        }
        port_ = make_posix_serial_port(make_driver_serial_flags(), root);
        ASSERT_TRUE(port_->open(path_, "230400"));
        EXPECT_EQ(port_->slow_adapter_ms(), c.slow_ms);
        const std::string note = port_->open_note();
        EXPECT_EQ(note.find("holds every reply up to 16 ms") != std::string::npos,
                  c.slow_ms.has_value())
            << note;
        ASSERT_TRUE(port_->open(path_, "115200")); // said once per device
        EXPECT_EQ(port_->open_note(), "");
        EXPECT_EQ(port_->slow_adapter_ms(), c.slow_ms);
        port_.reset();
        fs::remove_all(root);
    }
}

} // namespace
} // namespace velk2
