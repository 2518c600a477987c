// The simulator's command line: what it accepts, what it refuses, and how
// faults land on the chosen role.
#include "../../tools/boxsim/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using boxsim::parse_options;
using boxsim::RoleKind;

std::vector<std::string_view> args(const std::vector<const char*>& list) {
    return {list.begin(), list.end()};
}

struct RefusedCase {
    std::vector<const char*> args;
    const char* error_part;
};

void PrintTo(const RefusedCase& c, std::ostream* os) {
    *os << c.error_part;
}

class BoxsimOptionsRefused : public testing::TestWithParam<RefusedCase> {};

TEST_P(BoxsimOptionsRefused, SaysWhy) {
    const auto parsed = parse_options(args(GetParam().args));
    EXPECT_FALSE(parsed.options);
    EXPECT_NE(parsed.error.find(GetParam().error_part), std::string::npos) << parsed.error;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BoxsimOptionsRefused,
    testing::Values(RefusedCase{{}, "--role"}, RefusedCase{{"--role", "modem"}, "--role must be"},
                    RefusedCase{{"--role", "bootloader", "--baud", "9600"}, "--baud"},
                    RefusedCase{{"--role", "monitor", "--baud", "115200"}, "38400 or 230400"},
                    RefusedCase{{"--role", "sender"}, "--file"},
                    RefusedCase{{"--role", "bootloader", "--fault", "corrupt-crc=1"},
                                "unknown fault"},
                    RefusedCase{{"--role", "bootloader", "--fault", "nak-block"}, "needs =K"},
                    RefusedCase{{"--role", "bootloader", "--fault", "silent=1"}, "takes no value"},
                    RefusedCase{{"--role", "monitor", "--preload", "8E0000"}, "ADDR:FILE"},
                    RefusedCase{{"--role", "monitor", "--preload", "zz:f"}, "ADDR:FILE"},
                    RefusedCase{{"--role", "bootloader", "--dump", "d"}, "--role monitor"},
                    RefusedCase{{"--role", "bootloader", "--timeout", "0"}, "--timeout"},
                    RefusedCase{{"--role", "bootloader", "--once=yes"}, "takes no value"},
                    RefusedCase{{"--role", "bootloader", "--out"}, "needs a value"},
                    RefusedCase{{"--role", "sender", "--file", "f", "--fault", "header-name=\\q"},
                                "header-name"}));

TEST(BoxsimOptions, DefaultsFollowTheRole) {
    const auto boot = parse_options(args({"--role", "bootloader"}));
    ASSERT_TRUE(boot.options) << boot.error;
    EXPECT_EQ(boot.options->baud, 230400);
    EXPECT_EQ(boot.options->timeout.count(), 600);
    EXPECT_EQ(boot.options->out_dir, ".");
    EXPECT_FALSE(boot.options->once);

    const auto mon = parse_options(args({"--role=monitor"}));
    ASSERT_TRUE(mon.options) << mon.error;
    EXPECT_EQ(mon.options->role, RoleKind::monitor);
    EXPECT_EQ(mon.options->baud, 38400);
}

TEST(BoxsimOptions, TakesEveryOptionOfAMonitorRun) {
    const auto parsed = parse_options(
        args({"--role", "monitor", "--baud", "230400", "--pace", "--preload", "0x8E0000:a.bin",
              "--preload=CCA800:b.bin", "--dump", "mem.txt", "--fault", "silent-after=3", "--fault",
              "bad-status", "--once", "--timeout", "30", "--device", "/dev/ttyS1"}));
    ASSERT_TRUE(parsed.options) << parsed.error;
    const auto& o = *parsed.options;
    EXPECT_EQ(o.baud, 230400);
    EXPECT_TRUE(o.pace);
    ASSERT_EQ(o.preloads.size(), 2u);
    EXPECT_EQ(o.preloads[0].address, 0x008E0000u);
    EXPECT_EQ(o.preloads[0].path, "a.bin");
    EXPECT_EQ(o.preloads[1].address, 0x00CCA800u);
    EXPECT_EQ(o.dump, "mem.txt");
    EXPECT_EQ(o.monitor_faults.silent_after, 3u);
    EXPECT_TRUE(o.monitor_faults.bad_status);
    EXPECT_FALSE(o.monitor_faults.first_ping_ff);
    EXPECT_TRUE(o.once);
    EXPECT_EQ(o.timeout.count(), 30);
    EXPECT_EQ(o.device, "/dev/ttyS1");
}

TEST(BoxsimOptions, SenderFaults) {
    const auto parsed = parse_options(
        args({"--role", "sender", "--file", "f.dsp", "--baud", "230400", "--fault", "only-115200",
              "--fault", "header-name=..\\x2F\\x01x", "--fault", "corrupt-crc=0", "--fault",
              "absurd-size", "--fault", "stop-after-block=4", "--fault", "bad-header-start"}));
    ASSERT_TRUE(parsed.options) << parsed.error;
    const auto& f = parsed.options->sender_faults;
    EXPECT_EQ(parsed.options->baud, 115200);
    EXPECT_EQ(f.header_name, std::string("../\x01x"));
    EXPECT_EQ(f.corrupt_crc, 0u);
    EXPECT_TRUE(f.absurd_size);
    EXPECT_EQ(f.stop_after_block, 4u);
    EXPECT_TRUE(f.bad_header_start);
}

TEST(BoxsimOptions, BootloaderFaults) {
    const auto parsed = parse_options(
        args({"--role", "bootloader", "--fault", "nak-block=2", "--fault", "ack-first-eot",
              "--fault", "drop-after-block=0", "--fault", "silent"}));
    ASSERT_TRUE(parsed.options) << parsed.error;
    const auto& f = parsed.options->bootloader_faults;
    EXPECT_EQ(f.nak_block, 2u);
    EXPECT_TRUE(f.ack_first_eot);
    EXPECT_EQ(f.drop_after_block, 0u);
    EXPECT_TRUE(f.silent);
}

} // namespace
