#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <map>
#include <pty.h>
#include <thread>
#include <unistd.h>

#include "e2e_support.h"

namespace velk2::e2e {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Pty {
    int master = -1, slave = -1;
    std::string path;
    Pty() {
        char name[128];
        if (openpty(&master, &slave, name, nullptr, nullptr) == 0) path = name;
    }
    ~Pty() {
        close(master);
        close(slave);
    }
};

// Ports 1, 3 and 8 open, the others do not exist; the name in any case.
TEST(StartupE2E, DistributedProgramWritesOneCopyPerPortThatOpens) {
    const ScopedDir temp;
    const std::string& dir = temp.path;
    const std::string program = dir + "/velk_().exe";
    fs::create_symlink(VELK2_EXE, program);
    write_file(dir + "/VELK_(COM2).exe", "stale copy");
    std::map<int, Pty> ports;
    for (int n : {1, 3, 8}) ASSERT_FALSE(ports[n].path.empty());
    auto env = velk2_env(dir + "/config");
    for (int n = 1; n <= 8; ++n)
        env["VELK2_COM" + std::to_string(n)] =
            ports.count(n) ? ports[n].path : "/nonexistent/tty" + std::to_string(n);

    Result r = run({program}, env, dir, 60s);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string self = read_file(VELK2_EXE);
    EXPECT_EQ(read_file(dir + "/fi1.dat"), program);
    for (int n = 1; n <= 8; ++n) {
        const std::string copy = dir + "/VELK_(COM" + std::to_string(n) + ").exe";
        SCOPED_TRACE(copy);
        EXPECT_EQ(fs::exists(copy), ports.count(n) == 1);
        EXPECT_TRUE(!ports.count(n) ||
                    (read_file(copy) == self && access(copy.c_str(), X_OK) == 0));
    }
}

// Unattended, an automatic start that cannot upload ends at once with 1 and
// says why on standard error, the file or the port named; the file of the
// last run is never sent in place of a missing one.
TEST(StartupE2E, UnattendedAutomaticStartThatCannotUploadEndsWith1) {
    const ScopedDir temp;
    const std::string& dir = temp.path;
    const std::string good = dir + "/good.dsp", missing = dir + "/missing.dsp";
    write_file(good, sample_bytes(2000));
    write_file(dir + "/empty.dsp", "");
    fs::create_directories(dir + "/config");
    write_file(dir + "/config/VELK2.ini", "[LAST]\nALL=" + good + "\n");
    Pty box; // nothing may be written to it
    ASSERT_FALSE(box.path.empty());
    fcntl(box.master, F_SETFL, O_NONBLOCK);
    const struct {
        std::string arg, com1, told;
    } cases[] = {
        {missing, box.path,
         "message: VELK2: Cannot read the file " + missing + ": No such file or directory\n"},
        {"(COM1){" + dir + "/empty.dsp}", box.path, "empty.dsp is empty"},
        {"(COM1){" + good + "}", "/dev/null",
         "message: VELK2: Nothing was uploaded: COM1 did not open"},
        {"(COM1){" + good + "}", "/nonexistent/velk2-tty", "/nonexistent/velk2-tty"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arg + " on " + c.com1);
        auto env = velk2_env(dir + "/config");
        for (int n = 1; n <= 8; ++n)
            env["VELK2_COM" + std::to_string(n)] = "/nonexistent/velk2-tty";
        env["VELK2_COM1"] = c.com1;
        const Result r = run({VELK2_EXE, c.arg}, env, dir, 20s);
        EXPECT_EQ(r.status, 1) << tail_of(r.err);
        EXPECT_NE(r.err.find(c.told), std::string::npos) << tail_of(r.err);
        EXPECT_EQ(r.err.find("do main"), std::string::npos) << "the window stayed open";
        char byte;
        EXPECT_EQ(read(box.master, &byte, 1), -1) << "a byte reached the line";
    }
}

TEST(StartupE2E, CopyNamedForAPortStoresItsPort) {
    const ScopedDir temp;
    const std::string& dir = temp.path;
    const std::string program = dir + "/VELK_(COM7)";
    fs::create_symlink(VELK2_EXE, program);
    Background b({program}, velk2_env(dir + "/config"), dir);
    // The program runs until its window is closed; the store is written at start.
    const std::string ini = dir + "/config/VELK2.ini";
    std::string text;
    for (int i = 0; i < 200 && text.find("PORT=COM7") == std::string::npos; ++i) {
        std::this_thread::sleep_for(50ms);
        text = read_file(ini);
    }
    b.terminate();
    EXPECT_NE(text.find("[LAST]"), std::string::npos) << text;
    EXPECT_NE(text.find("PORT=COM7"), std::string::npos) << text;
}

} // namespace
} // namespace velk2::e2e
