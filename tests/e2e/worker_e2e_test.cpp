// The station's worker as the station runs it: velk2 --worker fed through a
// pipe, against the simulator on a pseudo-terminal.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "e2e_support.h"
#include "platform/child_process.h"
#include "station/sha256.h"

namespace velk2::e2e {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The worker in `dir` (its line record lands in its current folder), every
// COMn mapped to a name that does not exist.
struct Worker {
    std::unique_ptr<ChildProcess> child;
    std::vector<std::string> lines;
    Worker(const std::string& dir, const std::string& device, const std::string& data,
           std::size_t sent = std::string::npos) {
        for (int n = 1; n <= 8; ++n)
            setenv(("VELK2_COM" + std::to_string(n)).c_str(), (dir + "/no-such-port").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
        const auto here = std::filesystem::current_path();
        std::filesystem::current_path(dir);
        ChildStart started =
            start_child(VELK2_EXE, {"--worker", device, "--name", dir + "/fw.dsp", "--size",
                                    std::to_string(data.size()), "--sha256", sha256_hex(data),
                                    "--quiet", "1.5"});
        std::filesystem::current_path(here);
        child = std::move(started.child);
        if (child) child->write_input(std::string_view(data).substr(0, sent));
    }
    // Polls until `done` holds or the limit passes; false after the limit.
    template <class Done> bool until(Done done, std::chrono::milliseconds limit) {
        const auto end = Clock::now() + limit;
        while (Clock::now() < end) {
            child->poll();
            for (auto& l : child->take_lines()) lines.push_back(l);
            if (done()) return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }
    bool ended(std::chrono::milliseconds limit) {
        return until([this] { return child->exit_status().has_value(); }, limit);
    }
};

TEST(WorkerE2E, FlashesTheBoxByteExactThenEndsOnTheEndOfItsInput) {
    const ScopedDir temp;
    const std::string& dir = temp.path;
    const std::string out = dir + "/box";
    std::filesystem::create_directory(out);
    const std::string data = sample_bytes(30000, 5);
    {
        // The box asks again for 1 s after its upload: the worker's quiet
        // phase waits it out and flashes nothing more.
        Box box({"--role", "bootloader", "--number-files", "--timeout", "30", "--out", out,
                 "--restart-for", "1"},
                dir);
        Worker w(dir, box.slave, data);
        ASSERT_TRUE(w.child);
        ASSERT_TRUE(w.ended(20s)) << testing::PrintToString(w.lines);
        EXPECT_EQ(*w.child->exit_status(), (ChildExit{false, 0})) << w.child->stderr_tail();
        const auto& l = w.lines;
        ASSERT_GE(l.size(), 6u) << testing::PrintToString(l);
        EXPECT_EQ(l[0], "ready 30000 " + sha256_hex(data));
        EXPECT_EQ(l[1], "waiting " + box.slave);
        EXPECT_EQ(l[2], "flashing 0 30000 230400");
        long long last = 0;
        std::size_t i = 3;
        for (; i < l.size() && l[i].starts_with("flashing "); ++i) {
            const long long bytes = std::stoll(l[i].substr(9));
            EXPECT_GT(bytes, last) << l[i];
            last = bytes;
        }
        EXPECT_EQ(l[i - 1], "flashing 30000 30000 230400");
        ASSERT_EQ(l.size(), i + 2) << testing::PrintToString(l);
        EXPECT_TRUE(l[i].starts_with("result done ")) << l[i];
        EXPECT_EQ(l[i + 1], "quiet");
        EXPECT_TRUE(same_bytes(data, read_file(out + "/1-fw.dsp")));
        EXPECT_FALSE(std::filesystem::exists(out + "/2-fw.dsp")) << "flashed twice";
    }
    {
        // No box for 30 s: the worker listens until the station closes its input.
        Box box({"--role", "bootloader", "--timeout", "30", "--out", out, "--appear-after", "30"},
                dir);
        Worker w(dir, box.slave, data);
        ASSERT_TRUE(w.child);
        ASSERT_TRUE(w.until([&w] { return w.lines.size() >= 2; }, 10s));
        EXPECT_EQ(w.lines[1], "waiting " + box.slave);
        const auto closed = Clock::now();
        w.child->close_input();
        ASSERT_TRUE(w.ended(5s)) << "the worker outlived its station";
        EXPECT_LT(Clock::now() - closed, 2s);
        EXPECT_EQ(*w.child->exit_status(), (ChildExit{false, 1}));
        EXPECT_EQ(w.lines.size(), 2u) << testing::PrintToString(w.lines);
    }
    {
        // The input ends before all the data: no stop, the reason it cannot start.
        Worker w(dir, dir + "/no-such-port", data, 1000);
        ASSERT_TRUE(w.child);
        w.child->poll();
        w.child->close_input();
        ASSERT_TRUE(w.ended(5s));
        EXPECT_EQ(*w.child->exit_status(), (ChildExit{false, 1}));
        EXPECT_EQ(w.lines,
                  std::vector<std::string>{"error upload data ended after 1000 of 30000 bytes"});
    }
}

} // namespace
} // namespace velk2::e2e
