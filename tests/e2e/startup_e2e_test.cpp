#include <gtest/gtest.h>

#include <filesystem>
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

TEST(StartupE2E, DistributedProgramWritesOneCopyPerPortThatOpens) {
    const std::string dir = make_temp_dir();
    const std::string program = dir + "/VELK_().EXE";
    fs::create_symlink(VELK2_EXE, program);
    write_file(dir + "/VELK_(COM2).exe", "stale copy");
    Pty com1, com3;
    ASSERT_FALSE(com1.path.empty());
    auto env = velk2_env(dir + "/config");
    for (int n = 1; n <= 8; ++n)
        env["VELK2_COM" + std::to_string(n)] = "/nonexistent/tty" + std::to_string(n);
    env["VELK2_COM1"] = com1.path;
    env["VELK2_COM3"] = com3.path;

    Result r = run({program}, env, dir, 60s);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string self = read_file(VELK2_EXE);
    EXPECT_EQ(read_file(dir + "/fi1.dat"), program);
    for (const char* copy : {"/VELK_(COM1).exe", "/VELK_(COM3).exe"}) {
        SCOPED_TRACE(copy);
        EXPECT_EQ(read_file(dir + copy), self);
        EXPECT_EQ(access((dir + copy).c_str(), X_OK), 0);
    }
    EXPECT_FALSE(fs::exists(dir + "/VELK_(COM2).exe"));
    EXPECT_FALSE(fs::exists(dir + "/VELK_(COM4).exe"));
    fs::remove_all(dir);
}

TEST(StartupE2E, CopyNamedForAPortStoresItsPort) {
    const std::string dir = make_temp_dir();
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
    fs::remove_all(dir);
}

} // namespace
} // namespace velk2::e2e
