// The station without a window as a production script runs it: four
// simulated boxes switched on at different times on four pseudo-terminals,
// one per port, and `--count 4`.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
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

// A station run without a window on one box per port: COM1..COMn are the
// boxes' pseudo-terminals, the other ports lead nowhere, the settings, home
// and flash log in the test's folder.
struct StationRun {
    ScopedDir temp;
    std::string file = temp.path + "/fw.dsp";
    std::string bytes = sample_bytes(30000, 11);
    std::map<std::string, std::string> env = velk2_env(temp.path + "/config");
    std::vector<std::unique_ptr<Box>> boxes;
    std::vector<std::string> command{VELK2_EXE, "--station", "--no-window", "--file", file};

    explicit StationRun(const std::vector<std::vector<std::string>>& box_args) {
        write_file(file, bytes);
        env["HOME"] = temp.path + "/home";
        env["XDG_DATA_HOME"] = temp.path + "/data";
        for (int n = 1; n <= 8; ++n) env["VELK2_COM" + std::to_string(n)] = temp.path + "/none";
        for (std::size_t i = 0; i < box_args.size(); ++i) {
            fs::create_directory(out(i));
            std::vector<std::string> args{
                "--role", "bootloader", "--number-files", "--timeout", "60", "--out", out(i)};
            args.insert(args.end(), box_args[i].begin(), box_args[i].end());
            boxes.push_back(std::make_unique<Box>(args, temp.path));
            const std::string port = "COM" + std::to_string(i + 1);
            env["VELK2_" + port] = boxes.back()->slave;
            command.push_back(port);
        }
    }
    std::string out(std::size_t i) const { return temp.path + "/box" + std::to_string(i + 1); }
    std::vector<std::string> received(std::size_t i) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(out(i)))
            names.push_back(entry.path().filename().string());
        return names;
    }
    // The flash record's lines after its header, split at the commas (no
    // field of these runs needs quotes).
    std::vector<std::vector<std::string>> records() const {
        const std::string text = read_file(temp.path + "/data/VELK2/flash-log.csv");
        std::vector<std::string> lines = lines_of(text);
        std::vector<std::vector<std::string>> out;
        for (std::size_t k = 1; k < lines.size(); ++k) {
            std::vector<std::string> f;
            std::istringstream in(lines[k]);
            for (std::string field; std::getline(in, field, ',');) f.push_back(field);
            out.push_back(f);
        }
        return out;
    }
};

// Each box flashed exactly once with the file, one `done` record per box. The
// first box restarts into its bootloader right after its flash and asks for
// 2 s: the quiet time keeps its port from flashing it again while the others
// are still to come.
TEST(StationE2E, FourBoxesCountFourAllDone) {
    StationRun s({{"--appear-after", "0.5", "--restart-for", "2"},
                  {"--appear-after", "1.5"},
                  {"--appear-after", "2.5"},
                  {"--appear-after", "3.5"}});
    s.command.insert(s.command.end(), {"--count", "4"});
    const Result r = run(s.command, s.env, s.temp.path, 40s);
    EXPECT_EQ(r.status, 0) << r.out << tail_of(r.err);
    EXPECT_NE(r.out.find("Station: 4 attempts, 4 done, 0 failed, 0 stopped\n"), std::string::npos)
        << r.out;
    for (std::size_t i = 0; i < s.boxes.size(); ++i) {
        SCOPED_TRACE("box " + std::to_string(i + 1));
        EXPECT_EQ(s.received(i), std::vector<std::string>{"1-fw.dsp"})
            << tail_of(s.boxes[i]->log());
        EXPECT_TRUE(same_bytes(s.bytes, read_file(s.out(i) + "/1-fw.dsp")));
    }
    const auto log = s.records();
    ASSERT_EQ(log.size(), 4u);
    std::vector<std::string> ports;
    for (const auto& f : log) {
        ASSERT_EQ(f.size(), 10u);
        const int port = f[1].back() - '0';
        ASSERT_TRUE(port >= 1 && port <= 4) << f[1];
        ports.push_back(f[1]);
        EXPECT_EQ(f[2], s.boxes[std::size_t(port - 1)]->slave);
        EXPECT_EQ(f[3], s.file);
        EXPECT_EQ(f[4], "30000");
        EXPECT_EQ(f[5], sha256_hex(s.bytes));
        EXPECT_EQ(f[6], "done");
    }
    // The boxes were switched on one after the other: so were their flashes.
    EXPECT_EQ(ports, (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4"}));
}

// A box whose line goes away in the middle of its flash fails its row alone:
// the other box is flashed, the record says which failed and why, and the
// run's status says that not every attempt ended done.
TEST(StationE2E, BoxVanishingMidFlashFailsAlone) {
    StationRun s({{"--fault", "drop-after-block=10"}, {"--appear-after", "0.5"}});
    s.command.insert(s.command.end(), {"--count", "2"});
    const Result r = run(s.command, s.env, s.temp.path, 40s);
    EXPECT_EQ(r.status, 1) << r.out << tail_of(r.err);
    EXPECT_NE(r.out.find("Station: 2 attempts, 1 done, 1 failed, 0 stopped\n"), std::string::npos)
        << r.out;
    EXPECT_EQ(s.received(0), std::vector<std::string>{});
    ASSERT_EQ(s.received(1), std::vector<std::string>{"1-fw.dsp"});
    EXPECT_TRUE(same_bytes(s.bytes, read_file(s.out(1) + "/1-fw.dsp")));
    std::map<std::string, std::vector<std::string>> by_port;
    for (const auto& f : s.records()) by_port[f.at(1)] = f;
    ASSERT_EQ(by_port.size(), 2u);
    EXPECT_EQ(by_port["COM1"].at(6), "failed");
    EXPECT_FALSE(by_port["COM1"].at(7).empty()) << "a failure names its reason";
    EXPECT_EQ(by_port["COM2"].at(6), "done");
}

// A workshop must not flash untraced boxes: a flash log that cannot be
// written arms no port, the reason is shown and the box hears nothing.
TEST(StationE2E, UnwritableLogArmsNothing) {
    StationRun s({std::vector<std::string>{}});
    write_file(s.temp.path + "/data", "a file where the log's folder should be");
    const Result r = run(s.command, s.env, s.temp.path, 20s);
    EXPECT_EQ(r.status, 1) << r.out << tail_of(r.err);
    EXPECT_NE(r.err.find("Nothing armed"), std::string::npos) << r.err;
    EXPECT_EQ(s.received(0), std::vector<std::string>{});
}

} // namespace
} // namespace velk2::e2e
