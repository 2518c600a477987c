// The station without a window as a production script runs it: four
// simulated boxes switched on at different times on four pseudo-terminals,
// one per port, and `--count 4`.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "station/sha256.h"

namespace velk2::e2e {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Each box flashed exactly once with the file, one `done` record per box. The
// first box restarts into its bootloader right after its flash and asks for
// 2 s: the quiet time keeps its port from flashing it again while the others
// are still to come.
TEST(StationE2E, FourBoxesCountFourAllDone) {
    const ScopedDir temp;
    const std::string& dir = temp.path;
    const std::string file = dir + "/fw.dsp";
    const std::string bytes = sample_bytes(30000, 11);
    write_file(file, bytes);
    const std::vector<std::vector<std::string>> box_args = {
        {"--appear-after", "0.5", "--restart-for", "2"},
        {"--appear-after", "1.5"},
        {"--appear-after", "2.5"},
        {"--appear-after", "3.5"},
    };
    auto env = velk2_env(dir + "/config");
    env["HOME"] = dir + "/home";
    env["XDG_DATA_HOME"] = dir + "/data";
    for (int n = 1; n <= 8; ++n) env["VELK2_COM" + std::to_string(n)] = dir + "/no-such-port";
    std::vector<std::unique_ptr<Box>> boxes;
    std::vector<std::string> command{VELK2_EXE, "--station", "--no-window", "--file", file,
                                     "--count", "4"};
    for (std::size_t i = 0; i < box_args.size(); ++i) {
        const std::string out = dir + "/box" + std::to_string(i + 1);
        fs::create_directory(out);
        std::vector<std::string> args{"--role", "bootloader", "--number-files", "--timeout", "60",
                                      "--out",  out};
        args.insert(args.end(), box_args[i].begin(), box_args[i].end());
        boxes.push_back(std::make_unique<Box>(args, dir));
        ASSERT_EQ(boxes.back()->slave.rfind("/dev/", 0), 0u) << boxes.back()->slave;
        const std::string port = "COM" + std::to_string(i + 1);
        env["VELK2_" + port] = boxes.back()->slave;
        command.push_back(port);
    }

    const Result r = run(command, env, dir, 40s);
    EXPECT_EQ(r.status, 0) << r.out << tail_of(r.err);
    EXPECT_NE(r.out.find("Station: 4 attempts, 4 done, 0 failed, 0 stopped\n"), std::string::npos)
        << r.out;

    for (std::size_t i = 0; i < boxes.size(); ++i) {
        SCOPED_TRACE("box " + std::to_string(i + 1));
        const std::string out = dir + "/box" + std::to_string(i + 1);
        std::vector<std::string> received;
        for (const auto& entry : fs::directory_iterator(out))
            received.push_back(entry.path().filename().string());
        EXPECT_EQ(received, std::vector<std::string>{"1-fw.dsp"}) << tail_of(boxes[i]->log());
        EXPECT_TRUE(same_bytes(bytes, read_file(out + "/1-fw.dsp")));
    }

    const std::vector<std::string> log = lines_of(read_file(dir + "/data/VELK2/flash-log.csv"));
    ASSERT_EQ(log.size(), 5u) << read_file(dir + "/data/VELK2/flash-log.csv");
    std::vector<std::string> ports;
    for (std::size_t k = 1; k < log.size(); ++k) {
        std::vector<std::string> f;
        std::istringstream in(log[k]);
        for (std::string field; std::getline(in, field, ',');) f.push_back(field);
        ASSERT_EQ(f.size(), 10u) << log[k];
        const int port = f[1].back() - '0';
        ASSERT_TRUE(port >= 1 && port <= 4) << log[k];
        ports.push_back(f[1]);
        EXPECT_EQ(f[2], boxes[std::size_t(port - 1)]->slave) << log[k];
        EXPECT_EQ(f[3], file);
        EXPECT_EQ(f[4], "30000");
        EXPECT_EQ(f[5], sha256_hex(bytes));
        EXPECT_EQ(f[6], "done") << log[k];
    }
    // The boxes were switched on one after the other: so were their flashes.
    EXPECT_EQ(ports, (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4"}));
}

} // namespace
} // namespace velk2::e2e
