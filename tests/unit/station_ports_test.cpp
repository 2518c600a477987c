#include "station/station_ports.h"

#include <gtest/gtest.h>
#include <map>

namespace velk2 {
namespace {

StationSettingLookup settings(std::map<std::string, std::string> values) {
    return [values](const std::string& key) {
        auto it = values.find(key);
        return it == values.end() ? std::string() : it->second;
    };
}

std::vector<std::string> com(int first, int last) {
    std::vector<std::string> out;
    for (int n = first; n <= last; ++n) out.push_back("COM" + std::to_string(n));
    return out;
}

TEST(StationPorts, CommandLineThenSettingThenDefault) {
    struct Case {
        std::vector<std::string> command_line;
        std::string setting;
        std::vector<std::string> ports;
        bool problem = false;
    };
    std::vector<std::string> twenty = com(1, 20);
    const Case cases[] = {
        {{}, "", com(1, 8)},
        {{}, " , ,", com(1, 8)},
        {{}, "COM3,COM1", {"COM3", "COM1"}},
        {{}, "COM3 COM1\tCOM9", {"COM3", "COM1", "COM9"}},
        {{}, " COM2 ,, COM4 ", {"COM2", "COM4"}},
        {{}, "COM2,/dev/ttyUSB0", {"COM2", "/dev/ttyUSB0"}},
        {{"COM5"}, "COM3,COM1", {"COM5"}},
        {{"/dev/pts/4", "COM2"}, "", {"/dev/pts/4", "COM2"}},
        // Each port once, where it first appeared; "com2" is COM2.
        {{}, "COM2,COM1,COM2,com1", {"COM2", "COM1"}},
        {{"com3", "COM3", "Com3"}, "", {"COM3"}},
        {{"/dev/pts/4", "/dev/pts/4"}, "", {"/dev/pts/4"}},
        {{"comx", "COMX"}, "", {"comx", "COMX"}},
        {{"", "COM1"}, "", {"COM1"}},
        // Sixteen rows at most.
        {twenty, "", com(1, 16), true},
        {com(1, 16), "", com(1, 16)},
        {{"COM1", "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9", "COM10",
          "COM11", "COM12", "COM13", "COM14", "COM15", "COM16"},
         "",
         com(1, 16)},
    };
    for (const Case& c : cases) {
        const StationPorts got = station_ports(c.command_line, settings({{"PORTS", c.setting}}));
        EXPECT_EQ(got.ports, c.ports) << c.setting;
        EXPECT_EQ(!got.problem.empty(), c.problem) << got.problem;
    }
}

TEST(StationPorts, QuietSeconds) {
    struct Case {
        const char* value;
        int seconds;
        bool problem;
    };
    const Case cases[] = {
        {"", 5, false},           {"5", 5, false},   {"0", 0, false}, {" 12 ", 12, false},
        {"3600", 3600, false},    {"3601", 5, true}, {"-1", 5, true}, {"2.5", 5, true},
        {"5s", 5, true},          {"ten", 5, true},  {"+3", 5, true}, {"1 2", 5, true},
        {"99999999999", 5, true},
    };
    for (const Case& c : cases) {
        const QuietTime got = station_quiet(settings({{"QUIET", c.value}}));
        EXPECT_EQ(got.seconds, c.seconds) << c.value;
        EXPECT_EQ(!got.problem.empty(), c.problem) << c.value << ": " << got.problem;
        if (c.problem) {
            EXPECT_NE(got.problem.find(c.value), std::string::npos) << got.problem;
        }
    }
}

} // namespace
} // namespace velk2
