// The box monitor: command framing from a byte stream, memory effects, the
// speed switch and its faults.
#include "../../tools/boxsim/memory_model.h"
#include "../../tools/boxsim/monitor_role.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using boxsim::MemoryModel;
using boxsim::Millis;
using boxsim::MonitorFaults;
using boxsim::MonitorRole;
using boxsim::Step;

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (const int v : values) out += static_cast<char>(v);
    return out;
}

std::string le32(std::uint32_t v) {
    return bytes({static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF),
                  static_cast<int>((v >> 16) & 0xFF), static_cast<int>(v >> 24)});
}

std::string poke(std::uint32_t address, std::uint32_t value) {
    return bytes({0x00}) + le32(address) + le32(value);
}
std::string peek(std::uint32_t address) {
    return bytes({0x04}) + le32(address);
}
std::string write_cmd(std::uint32_t address, const std::string& data) {
    return bytes({0x08}) + le32(address) + static_cast<char>(((data.size() >> 2) - 1) & 0xFF) +
           data;
}
std::string read_cmd(std::uint32_t address, int count_byte) {
    return bytes({0x0C}) + le32(address) + static_cast<char>(count_byte);
}

struct Box {
    MonitorRole role;
    Millis now{0};
    explicit Box(MonitorFaults faults = {}, MemoryModel memory = {})
        : role(38400, std::move(memory), faults) {}
    Step send(const std::string& command) {
        now += Millis(50);
        return role.receive(command, now);
    }
};

struct LengthCase {
    std::string start;
    std::size_t length;
};

class BoxsimMonitorLength : public testing::TestWithParam<LengthCase> {};

TEST_P(BoxsimMonitorLength, FollowsFromTheCommandAndItsCountByte) {
    EXPECT_EQ(boxsim::monitor::command_length(GetParam().start), GetParam().length);
}

INSTANTIATE_TEST_SUITE_P(Cases, BoxsimMonitorLength,
                         testing::Values(LengthCase{bytes({0x07}), 1}, LengthCase{bytes({0x00}), 9},
                                         LengthCase{bytes({0x04}), 5}, LengthCase{bytes({0x0C}), 6},
                                         LengthCase{bytes({0x43}), 2},
                                         LengthCase{bytes({0x08, 1, 2}), 6},
                                         LengthCase{bytes({0x08, 0, 0, 0x8E, 0, 0x0F}), 6 + 64},
                                         LengthCase{bytes({0x08, 0, 0, 0x8E, 0, 0xFF}), 6 + 1024},
                                         LengthCase{bytes({0x55}), 0}, LengthCase{"", 0}));

struct ExchangeCase {
    const char* what;
    std::vector<std::string> commands;
    std::string last_reply;
};

void PrintTo(const ExchangeCase& c, std::ostream* os) {
    *os << c.what;
}

class BoxsimMonitorExchange : public testing::TestWithParam<ExchangeCase> {};

TEST_P(BoxsimMonitorExchange, AnswersTheLastCommand) {
    Box box;
    Step last;
    for (const auto& command : GetParam().commands) last = box.send(command);
    EXPECT_EQ(last.sent(), GetParam().last_reply) << GetParam().what;
}

const std::string block64 = [] {
    std::string b;
    for (int i = 0; i < 64; ++i) b += static_cast<char>(i * 3);
    return b;
}();

INSTANTIATE_TEST_SUITE_P(
    Cases, BoxsimMonitorExchange,
    testing::Values(ExchangeCase{"ping at 38400", {bytes({0x07})}, bytes({0xD4, 0x00})},
                    ExchangeCase{"poke", {poke(0x0030DD80, 0x00098000)}, bytes({0x00})},
                    ExchangeCase{"peek after poke",
                                 {poke(0x0030DD80, 0x00098000), peek(0x0030DD80)},
                                 bytes({0x00, 0x80, 0x09, 0x00, 0x00})},
                    ExchangeCase{
                        "peek of memory never set", {peek(0x1234)}, bytes({0, 0, 0, 0, 0})},
                    ExchangeCase{"write", {write_cmd(0x00CCA800, block64)}, bytes({0x00})},
                    ExchangeCase{"read after write",
                                 {write_cmd(0x00CCA800, block64), read_cmd(0x00CCA800, 15)},
                                 block64 + '\0'},
                    ExchangeCase{"read across a written and an unset part",
                                 {poke(0x100, 0x44332211), read_cmd(0xFC, 1)},
                                 bytes({0, 0, 0, 0, 0x11, 0x22, 0x33, 0x44, 0x00})},
                    ExchangeCase{"unknown byte dropped, next command answered",
                                 {bytes({0x55, 0x07})},
                                 bytes({0xD4, 0x00})}));

TEST(BoxsimMonitor, AnswersAWriteOnlyWhenItsLastDataByteHasCome) {
    std::string data(1024, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i);
    const std::string command = write_cmd(0x008E0000, data);
    ASSERT_EQ(command.size(), 1030u);
    Box box;
    std::string replies;
    for (std::size_t i = 0; i + 1 < command.size(); ++i) {
        replies += box.role.receive(command.substr(i, 1), box.now).sent();
    }
    EXPECT_EQ(replies, "");
    EXPECT_EQ(box.role.receive(command.substr(command.size() - 1), box.now).sent(), bytes({0x00}));
    EXPECT_EQ(box.role.memory().read(0x008E0000, 1024), data);
}

TEST(BoxsimMonitor, TakesTwoCommandsFromOneRead) {
    Box box;
    const Step step = box.send(poke(0x10, 0xAABBCCDD) + peek(0x10));
    EXPECT_EQ(step.sent(), bytes({0x00, 0xDD, 0xCC, 0xBB, 0xAA, 0x00}));
}

TEST(BoxsimMonitor, SpeedSwitchAnswersAtTheOldRateThenMoves) {
    Box box;
    const Step up = box.send(bytes({0x43, 0x23}));
    ASSERT_EQ(up.out.size(), 1u);
    EXPECT_EQ(up.out[0].bytes, bytes({0xFF}));
    EXPECT_EQ(up.out[0].baud, 38400);
    EXPECT_EQ(box.role.baud(), 230400);
    const Step ping = box.send(bytes({0x07}));
    EXPECT_EQ(ping.sent(), bytes({0x23, 0x00}));
    EXPECT_EQ(ping.out[0].baud, 230400);

    const Step down = box.send(bytes({0x43, 0xD4}));
    EXPECT_EQ(down.out[0].baud, 230400);
    EXPECT_EQ(box.role.baud(), 38400);
    EXPECT_EQ(box.send(bytes({0x07})).sent(), bytes({0xD4, 0x00}));
}

TEST(BoxsimMonitor, UnknownSpeedCodeKeepsTheRate) {
    Box box;
    EXPECT_EQ(box.send(bytes({0x43, 0x11})).sent(), bytes({0x01}));
    EXPECT_EQ(box.role.baud(), 38400);
}

TEST(BoxsimMonitor, DropsACommandLeftIncomplete) {
    Box box;
    box.role.receive(bytes({0x00, 0x01, 0x02}), Millis(1000));
    EXPECT_TRUE(box.role.tick(Millis(1100)).log.empty());
    EXPECT_FALSE(box.role.tick(Millis(1101)).log.empty());
    EXPECT_EQ(box.role.receive(bytes({0x07}), Millis(1200)).sent(), bytes({0xD4, 0x00}));
}

TEST(BoxsimMonitor, SilentAfterKIgnoresLaterCommandsWithoutEffect) {
    Box box({.silent_after = 2u});
    EXPECT_EQ(box.send(bytes({0x07})).sent(), bytes({0xD4, 0x00}));
    EXPECT_EQ(box.send(poke(0x20, 1)).sent(), bytes({0x00}));
    EXPECT_EQ(box.send(poke(0x20, 2)).sent(), "");
    EXPECT_EQ(box.send(bytes({0x07})).sent(), "");
    EXPECT_EQ(box.role.memory().read(0x20, 4), le32(1));
}

TEST(BoxsimMonitor, BadStatusReportsFailureAndStoresNothing) {
    MemoryModel memory;
    memory.write(0x40, "abcd");
    Box box({.bad_status = true}, memory);
    EXPECT_EQ(box.send(poke(0x40, 0)).sent(), bytes({0x01}));
    EXPECT_EQ(box.send(write_cmd(0x40, "wxyz")).sent(), bytes({0x01}));
    EXPECT_EQ(box.send(peek(0x40)).sent(), std::string("abcd\x01"));
    EXPECT_EQ(box.send(read_cmd(0x40, 0)).sent(), std::string("abcd\x01"));
}

TEST(BoxsimMonitor, FirstPingFfAnswersFfAndGoesTo230400) {
    Box box({.first_ping_ff = true});
    EXPECT_EQ(box.send(bytes({0x07})).sent(), bytes({0xFF}));
    EXPECT_EQ(box.role.baud(), 230400);
    EXPECT_EQ(box.send(bytes({0x07})).sent(), bytes({0x23, 0x00}));
}

TEST(BoxsimMemory, WrapsAtTheTopOfTheAddressSpaceAndDumpsEveryRun) {
    MemoryModel memory;
    memory.write(0xFFFFFFFE, "abcd");
    memory.write(0x00001000 - 2, "xyzw"); // across a page boundary
    EXPECT_EQ(memory.read(0xFFFFFFFE, 4), "abcd");
    EXPECT_EQ(memory.read(0x00000000, 2), "cd");
    const auto ranges = memory.ranges();
    ASSERT_EQ(ranges.size(), 3u);
    EXPECT_EQ(ranges[0].address, 0x00000000u);
    EXPECT_EQ(ranges[0].bytes, "cd");
    EXPECT_EQ(ranges[1].address, 0x00000FFEu);
    EXPECT_EQ(ranges[1].bytes, "xyzw");
    EXPECT_EQ(ranges[2].address, 0xFFFFFFFEu);
    EXPECT_EQ(boxsim::dump_text(memory), "00000000 63 64\n"
                                         "00000FFE 78 79 7A 77\n"
                                         "FFFFFFFE 61 62\n");
}

TEST(BoxsimMemory, DumpSplitsLongRunsIntoLinesOf32Bytes) {
    MemoryModel memory;
    memory.write(0x008E0000, std::string(40, '\x11'));
    const std::string dump = boxsim::dump_text(memory);
    const std::string first_line = "008E0000" + [] {
        std::string s;
        for (int i = 0; i < 32; ++i) s += " 11";
        return s;
    }() + "\n";
    EXPECT_EQ(dump.substr(0, first_line.size()), first_line);
    EXPECT_EQ(dump.substr(first_line.size()), "008E0020 11 11 11 11 11 11 11 11\n");
}

} // namespace
