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
        {mon_read(0x008E0400, count_byte(476)), "0C 00 04 8E 00 76"},
        {mon_write(0x80000001, "ABCD"), "08 01 00 00 80 00 41 42 43 44"},
        {std::string{char(count_byte(1024)), char(count_byte(3)), char(count_byte(0))}, "FF FF FF"},
        {le32(0xDEADBEEF), "EF BE AD DE"},
    };
    for (const auto& [bytes, hex] : cases) EXPECT_EQ(bytes, test::from_hex(hex)) << hex;
}

TEST(FujiData, SummaryTitle) {
    std::string s(72, '\x01');
    s[54] = 7;
    s[55] = static_cast<char>(200);
    s.replace(40, 8, "ABCDEFGH");
    s.replace(36, 4, test::from_hex("78 56 34 12"));
    s.replace(68, 4, test::from_hex("EF BE AD DE"));
    const std::pair<std::string, std::string> cases[] = {
        {s, "7:200 ABCDEFGH/ 12345678/ DEADBEEF"},
        {s.substr(0, 64), "7:200 ABCDEFGH/ 12345678/ 00000000"},
        {s.substr(0, 44), "0:0 ABCD/ 12345678/ 00000000"},
        {s.substr(0, 38), "0:0 / 00005678/ 00000000"}, // missing bytes read as 0
        {s.substr(0, 40) + "M\xFCll\xE9r\xA0x",
         "0:0 M\xC3\xBCll\xC3\xA9r\xC2\xA0x/ 12345678/ 00000000"},
        {"", "0:0 / 00000000/ 00000000"},
    };
    for (const auto& [bytes, title] : cases) EXPECT_EQ(fuji_summary_title(bytes), title);
}

TEST(FujiData, AddressFromFileName) {
    const std::pair<const char*, std::optional<std::uint32_t>> cases[] = {
        {"00CCA800.BIN", 0x00CCA800},
        {"CCA800.bin", 0x00CCA800},
        {"A.Bin", 0x0A},
        {"0030de80.bin", 0x0030DE80},
        {"FFFFFFFF.bin", 0xFFFFFFFF},
        {"123456789.bin", 0x12345678},
        {"zz.bin", 0},
        {"x.txt", std::nullopt},
        {"readme", std::nullopt},
        {"bin", std::nullopt},
    };
    for (const auto& [name, address] : cases)
        EXPECT_EQ(address_from_file_name(name), address) << name;
}

} // namespace
} // namespace velk2
