// The sole arguments that print and exit, run as a user runs them. --ports
// lists a prepared folder in place of the machine's devices, so no real
// serial device is ever looked at: ttyS0 has no UART, ttyS1 has one (sysfs
// says so), ttyS2 is a pseudo-terminal sysfs knows nothing of (asked
// directly), ttyACM0 is gone; ttyUSB0 is an FTDI adapter at the default
// 16 ms, ttyUSB1 one whose timer cannot be read, open in another program and
// closed to this user.
#include <gtest/gtest.h>

#include <filesystem>
#include <grp.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include "e2e_support.h"

namespace velk2::e2e {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(CommandLineE2E, SoleInfoArgumentsPrintAndExit) {
    ScopedDir dir;
    int master = -1, slave = -1, held_master = -1, held_slave = -1;
    char name[128], held_name[128];
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    ASSERT_EQ(openpty(&held_master, &held_slave, held_name, nullptr, nullptr), 0);
    const std::string pty = name, held = held_name, root = dir.path + "/root", dev = root + "/dev";
    fs::create_directories(dev + "/serial/by-id");
    fs::create_symlink("../../ttyUSB0", dev + "/serial/by-id/usb-Test-if00-port0");
    for (const char* tty : {"/ttyUSB0", "/ttyS0", "/ttyS1", "/ttyS2"})
        fs::create_symlink(pty, dev + tty);
    fs::create_symlink(held, dev + "/ttyUSB1");
    fs::create_symlink("/nonexistent/velk2-tty", dev + "/ttyACM0");
    for (const char* type : {"ttyS0/type:0", "ttyS1/type:4"}) {
        const std::string t = type, file = root + "/sys/class/tty/" + t.substr(0, t.find(':'));
        fs::create_directories(fs::path(file).parent_path());
        write_file(file, t.substr(t.find(':') + 1) + "\n");
    }
    // The drivers as sysfs links them; the FTDI latency timers.
    const std::string drivers = "../../../bus/usb-serial/drivers/";
    for (const char* tty : {"ttyUSB0:ftdi_sio", "ttyUSB1:ftdi_sio", "ttyS1:serial8250"}) {
        const std::string t = tty, device = root + "/sys/class/tty/" + t.substr(0, t.find(':'));
        fs::create_directories(device + "/device");
        fs::create_symlink(drivers + t.substr(t.find(':') + 1), device + "/device/driver");
    }
    fs::create_directories(root + "/sys/bus/usb-serial/devices/ttyUSB0");
    write_file(root + "/sys/bus/usb-serial/devices/ttyUSB0/latency_timer", "16\n");
    // Another program holds ttyUSB1 open.
    fs::create_directories(root + "/proc/4242/fd");
    fs::create_symlink(held, root + "/proc/4242/fd/5");
    write_file(root + "/proc/4242/comm", "minicom\n");
    fs::create_directories(dir.path + "/config");
    write_file(dir.path + "/config/VELK2.ini",
               "[PORTS]\nCOM2=" + pty + "\nCOM3=ttyUSB0\nCOM4=" + held + "\n");
    auto env = velk2_env(dir.path + "/config");
    env["VELK2_DEVICE_ROOT"] = root;
    env["VELK2_COM1"] = "/nonexistent/velk2-com1";

    // --ports runs as a user outside the group of ttyUSB1, where the system lets us.
    const group* dialout = getgrnam("dialout");
    const bool as_user = geteuid() == 0 && dialout && fs::exists("/usr/bin/setpriv");
    std::vector<std::string> ports_command{VELK2_EXE, "--ports"};
    if (as_user) {
        ASSERT_EQ(chown(held.c_str(), 0, dialout->gr_gid), 0);
        ASSERT_EQ(chmod(held.c_str(), 0660), 0);
        ASSERT_EQ(chmod(pty.c_str(), 0666), 0);
        for (fs::path p = root; p != fs::path(dir.path).parent_path(); p = p.parent_path())
            fs::permissions(p, fs::perms::others_read | fs::perms::others_exec,
                            fs::perm_options::add);
        fs::permissions(dir.path + "/config", fs::perms::others_all, fs::perm_options::add);
        ports_command = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                         "--clear-groups",   VELK2_EXE,       "--ports"};
    }
    const std::string closed = as_user ? "no access: join group dialout, " : "";
    const std::string hint =
        "      the latency timer holds every reply up to 16 ms and costs speed; set 1 ms: echo 1 | "
        "sudo tee /sys/bus/usb-serial/devices/ttyUSB0/latency_timer, or for good a udev rule: "
        "ACTION==\"add\", SUBSYSTEM==\"usb-serial\", DRIVER==\"ftdi_sio\", "
        "ATTR{latency_timer}=\"1\"\n";

    const struct {
        const char* arg;
        std::vector<std::string> wanted; // on standard output, or standard error for status 2
        int status = 0;
    } cases[] = {
        {"--help", {"Usage: velk2 [ARGUMENT]", "VELK2_COMn", "[PORTS]", "(DBG2)", "128+n"}},
        {"-h", {"Usage: velk2 [ARGUMENT]"}},
        {"--version", {"velk2 " VELK2_VERSION "\n"}},
        // An option we do not have never opens the window (it would stay open).
        {"--foo", {"velk2: unknown option --foo\nUsage: velk2 [ARGUMENT]"}, 2},
        {"--", {"velk2: unknown option --\n"}, 2},
        {"--ports",
         {"Serial devices:\n  " + dev + "/serial/by-id/usb-Test-if00-port0 -> " + dev +
              "/ttyUSB0  (ftdi_sio, latency timer 16 ms)\n" + hint + "  " + dev +
              "/ttyUSB0  (ftdi_sio, latency timer 16 ms)\n  " + dev +
              "/ttyUSB1  (ftdi_sio, latency timer unknown, " + closed +
              "busy: held by minicom (pid 4242))\n  " + dev + "/ttyS1  (serial8250)\n  " + dev +
              "/ttyS2  (driver unknown)\nPorts",
          "  COM1  /nonexistent/velk2-com1  (VELK2_COM1, absent)\n  COM2  " + pty +
              "  ([PORTS])\n  COM3  ttyUSB0: [PORTS] value is not an absolute path\n  COM4  " +
              held + "  ([PORTS], " + closed + "busy: held by minicom (pid 4242))\n"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arg);
        std::vector<std::string> command{VELK2_EXE, c.arg};
        if (std::string(c.arg) == "--ports") command = ports_command;
        Result r = run(command, env, dir.path, 20s);
        EXPECT_EQ(r.status, c.status) << r.err;
        const std::string& text = c.status == 0 ? r.out : r.err;
        for (const auto& w : c.wanted) EXPECT_NE(text.find(w), std::string::npos) << w << text;
        EXPECT_EQ(c.status == 0 ? r.err : r.out, "");
    }
    for (const int fd : {master, slave, held_master, held_slave}) close(fd);
}

} // namespace
} // namespace velk2::e2e
