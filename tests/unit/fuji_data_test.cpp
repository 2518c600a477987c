#include "fuji/fuji_data.h"

#include "fuji/monitor_commands.h"
#include "hex_text.h"

#include <gtest/gtest.h>

namespace velk2 {
namespace {

// Address (little-endian) then value, one record a line.
TEST(FujiData, PatchLists) {
    EXPECT_EQ(default_patch_list(), test::from_hex("80 DE 30 00  00 80 00 00"
                                                   "88 DD 30 00  00 00 0F 00"
                                                   "88 DC 5E 00  25 30 34 64"
                                                   "8C DC 5E 00  25 30 32 64"
                                                   "90 DC 5E 00  25 30 32 64"
                                                   "A0 DC 5E 00  3A 25 30 32"
                                                   "A4 DC 5E 00  78 3A 25 30"
                                                   "A8 DC 5E 00  32 64 00 00"
                                                   "A0 31 41 00  52 45 44 55"
                                                   "A4 31 41 00  5A 49 44 49"));
    EXPECT_EQ(put_patch_list(), test::from_hex("80 DD 30 00  00 80 09 00"
                                               "88 DD 30 00  00 80 00 00"
                                               "9C DD 30 00  00 00 01 00"
                                               "B8 DD 30 00  00 00 13 00"
                                               "80 DE 30 00  00 80 09 00"
                                               "88 DE 30 00  00 80 00 00"));

    const std::vector<PatchRecord> def = patch_records(default_patch_list());
    ASSERT_EQ(def.size(), 10u);
    EXPECT_EQ(mon_poke(def[0].address, def[0].value), test::from_hex("00 80 DE 30 00 00 80 00 00"));
    EXPECT_EQ(def[9].address, 0x004131A4u);
    EXPECT_EQ(def[9].value, "ZIDI");
    const std::vector<PatchRecord> put = patch_records(put_patch_list());
    ASSERT_EQ(put.size(), 6u);
    EXPECT_EQ(mon_poke(put[0].address, put[0].value), test::from_hex("00 80 DD 30 00 00 80 09 00"));
    EXPECT_EQ(mon_peek(put[0].address), test::from_hex("04 80 DD 30 00"));
}

TEST(FujiData, TrailAddress) {
    std::string head(64, '\0');
    EXPECT_EQ(fuji_trail_address(head), 0x00CCA840u);
    head.replace(60, 4, le32(0x10));
    EXPECT_EQ(mon_read(fuji_trail_address(head), fuji_trail_count),
              test::from_hex("0C 60 A8 CC 00 01"));
    head.replace(60, 4, le32(0x80000000)); // 32-bit arithmetic
    EXPECT_EQ(fuji_trail_address(head), 0x00CCA840u);
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
        {"80000000.bin", 0x80000000},
        {"123456789.bin", 0x12345678},
        {"zz.bin", 0},
        {"x.txt", std::nullopt},
        {"readme", std::nullopt},
        {"bin", std::nullopt},
    };
    for (const auto& [name, address] : cases)
        EXPECT_EQ(address_from_file_name(name), address) << name;
}

TEST(FujiData, BlockWrites) {
    const std::string block = test::pattern_bytes(64);
    EXPECT_EQ(mon_write(*address_from_file_name("00CCA800.BIN"), block),
              test::from_hex("08 00 A8 CC 00 0F") + block);
    EXPECT_EQ(put_clear_command(*address_from_file_name("0030DE80.BIN"), 8),
              test::from_hex("08 80 DE 30 00 01 00 00 00 00 00 00 00 00"));
    EXPECT_EQ(live_command(), test::from_hex("08 00 A8 F0 00 0F") + std::string(64, '\xFF'));

    const std::pair<std::size_t, bool> lengths[] = {{0, false}, {3, false},   {4, true},
                                                    {6, false}, {1024, true}, {1028, false}};
    for (const auto& [n, ok] : lengths) EXPECT_EQ(block_file_length_ok(n), ok) << n;
}

} // namespace
} // namespace velk2
