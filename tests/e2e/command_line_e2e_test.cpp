// The sole arguments that print and exit, run as a user runs them. --ports
// lists a prepared folder in place of the machine's devices, so no real
// serial device is ever looked at: ttyS0 has no UART, ttyS1 has one (sysfs
// says so), ttyS2 is a pseudo-terminal sysfs knows nothing of (asked
// directly), ttyACM0 is gone.
#include <gtest/gtest.h>

#include <filesystem>
#include <pty.h>
#include <unistd.h>

#include "e2e_support.h"

namespace velk2::e2e {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(CommandLineE2E, SoleInfoArgumentsPrintAndExit) {
    ScopedDir dir;
    int master = -1, slave = -1;
    char name[128];
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    const std::string pty = name, root = dir.path + "/root", dev = root + "/dev";
    fs::create_directories(dev + "/serial/by-id");
    fs::create_symlink("../../ttyUSB0", dev + "/serial/by-id/usb-Test-if00-port0");
    for (const char* tty : {"/ttyUSB0", "/ttyS0", "/ttyS1", "/ttyS2"})
        fs::create_symlink(pty, dev + tty);
    fs::create_symlink("/nonexistent/velk2-tty", dev + "/ttyACM0");
    for (const char* type : {"ttyS0/type:0", "ttyS1/type:4"}) {
        const std::string t = type, file = root + "/sys/class/tty/" + t.substr(0, t.find(':'));
        fs::create_directories(fs::path(file).parent_path());
        write_file(file, t.substr(t.find(':') + 1) + "\n");
    }
    fs::create_directories(dir.path + "/config");
    write_file(dir.path + "/config/VELK2.ini", "[PORTS]\nCOM2=" + pty + "\nCOM3=ttyUSB0\n");
    auto env = velk2_env(dir.path + "/config");
    env["VELK2_DEVICE_ROOT"] = root;
    env["VELK2_COM1"] = "/nonexistent/velk2-com1";

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
              "/ttyUSB0\n  " + dev + "/ttyUSB0\n  " + dev + "/ttyS1\n  " + dev + "/ttyS2\nPorts",
          "  COM1  /nonexistent/velk2-com1  (VELK2_COM1, absent)\n  COM2  " + pty +
              "  ([PORTS])\n  COM3  ttyUSB0: [PORTS] value is not an absolute path\n"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arg);
        Result r = run({VELK2_EXE, c.arg}, env, dir.path, 20s);
        EXPECT_EQ(r.status, c.status) << r.err;
        const std::string& text = c.status == 0 ? r.out : r.err;
        for (const auto& w : c.wanted) EXPECT_NE(text.find(w), std::string::npos) << w << text;
        EXPECT_EQ(c.status == 0 ? r.err : r.out, "");
    }
    close(master);
    close(slave);
}

} // namespace
} // namespace velk2::e2e
