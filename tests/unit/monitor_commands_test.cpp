#include "fuji/monitor_commands.h"

#include "fuji/fuji_data.h"
#include "hex_text.h"

#include <gtest/gtest.h>

namespace velk2 {
namespace {

TEST(MonitorCommands, Bytes) {
    const std::pair<std::string, std::string> cases[] = {
        {mon_ping(), "07"},
        {mon_speed(speed_230400), "43 23"},
        {mon_speed(speed_38400), "43 D4"},
        {ping_reply(speed_38400), "D4 00"},
        {ping_reply(speed_230400), "23 00"},
        {mon_poke(0x0030DE80, test::from_hex("00 80 00 00")), "00 80 DE 30 00 00 80 00 00"},
        {mon_poke_value(0x0030DD80, 0x00098000), "00 80 DD 30 00 00 80 09 00"},
        {mon_peek(0x0030DD80), "04 80 DD 30 00"},
        {mon_read(fuji_block, fuji_head_count), "0C 00 A8 CC 00 0F"},
        {mon_read(0x008E0400, 0x76), "0C 00 04 8E 00 76"},
        {mon_write(0x80000001, "ABCD"), "08 01 00 00 80 00 41 42 43 44"},
        {le32(0xDEADBEEF), "EF BE AD DE"},
    };
    for (const auto& [bytes, hex] : cases) EXPECT_EQ(bytes, test::from_hex(hex)) << hex;
}

TEST(MonitorCommands, CountByte) {
    const std::pair<std::size_t, int> cases[] = {{4, 0x00},    {8, 0x01}, {64, 0x0F}, {476, 0x76},
                                                 {1024, 0xFF}, {3, 0xFF}, {0, 0xFF}};
    for (const auto& [n, c] : cases) EXPECT_EQ(count_byte(n), c) << n;
}

TEST(MonitorCommands, ReadLe32) {
    const std::string bytes = test::from_hex("11 22 33 44 55");
    EXPECT_EQ(read_le32(bytes, 0), 0x44332211u);
    EXPECT_EQ(read_le32(bytes, 1), 0x55443322u);
    EXPECT_EQ(read_le32(bytes, 3), 0x00005544u); // missing bytes read as 0
    EXPECT_EQ(read_le32(bytes, 9), 0u);
    EXPECT_EQ(read_le32(test::from_hex("FF FF FF FF"), 0), 0xFFFFFFFFu);
}

} // namespace
} // namespace velk2
