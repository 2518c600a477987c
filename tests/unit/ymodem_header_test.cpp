#include "download/ymodem_header.h"

#include "hex_text.h"
#include "upload/crc16.h"

#include <gtest/gtest.h>

namespace velk2 {
namespace {

// "|" stands for the 0x00 byte in the tables below.
std::string nul(std::string text) {
    for (char& c : text)
        if (c == '|') c = '\0';
    return text;
}

std::string with_crc(std::string head, std::string_view data) {
    const std::uint16_t crc = crc16(data);
    return head.append(data) + static_cast<char>(crc >> 8) + static_cast<char>(crc & 0xFF);
}

std::string header_block(std::string field, std::string start = nul("\x01|\xFF")) {
    field.resize(128, '\0');
    return with_crc(start, field);
}

TEST(HeaderCheck, StartAndCrc) {
    const std::string good = header_block(nul("a.dsp|2500|"));
    EXPECT_TRUE(check_header(good).start_ok);
    EXPECT_TRUE(check_header(good).crc_ok);

    // A 1K header is refused even though its check value is right.
    const HeaderCheck one_k = check_header(header_block("a.dsp", nul("\x02|\xFF")));
    EXPECT_FALSE(one_k.start_ok);
    EXPECT_TRUE(one_k.crc_ok);
    EXPECT_EQ(one_k.received_start, 0xFF0002u);

    std::string bad = good;
    bad.replace(131, 2, test::from_hex("12 34"));
    const HeaderCheck mismatch = check_header(bad);
    EXPECT_TRUE(mismatch.start_ok);
    EXPECT_FALSE(mismatch.crc_ok);
    EXPECT_EQ(mismatch.crc_computed, crc16(std::string_view(good).substr(3, 128)));
    EXPECT_EQ(mismatch.crc_received, 0x3412);

    // The high-order check byte comes first.
    std::string swapped = good;
    std::swap(swapped[131], swapped[132]);
    ASSERT_NE(swapped, good);
    EXPECT_FALSE(check_header(swapped).crc_ok);

    EXPECT_FALSE(check_header(good.substr(0, 132)).crc_ok);
    EXPECT_FALSE(check_header("").start_ok);
}

TEST(HeaderFields, NameSizeBlocks) {
    const struct {
        std::string field;
        std::string name;
        std::optional<std::uint32_t> size;
        std::uint32_t blocks;
    } cases[] = {
        {"a.dsp|2500|", "a.dsp", 2500, 3},
        {"|0", "", 0, 0},
        {"x|", "x", std::nullopt, 0}, // no digits: no size, never an empty file
        {"x|12ab", "x", 12, 1},
        {"x|1024 ", "x", 1024, 1},
        {"x|1025", "x", 1025, 2},
        {"x|2093056", "x", 2093056, 2044},
        {"x|2093057", "x", std::nullopt, 0},
        {"x|4294967297", "x", std::nullopt, 0}, // would wrap to 1 in 32 bits
        {"x|" + std::string(100, '9'), "x", std::nullopt, 0},
        {"x|" + std::string(100, '0') + "7", "x", 7, 1},
        {"x|-5", "x", std::nullopt, 0},
        {std::string(128, 'n'), std::string(128, 'n'), std::nullopt, 0},
    };
    for (const auto& c : cases) {
        const HeaderFields f = header_fields(header_block(nul(c.field)));
        EXPECT_EQ(f.file_name, c.name) << c.field;
        EXPECT_EQ(f.size, c.size) << c.field;
        EXPECT_EQ(f.block_count, c.blocks) << c.field;
    }
}

TEST(HeaderFields, SafeFileName) {
    const std::pair<std::string, std::string> cases[] = {
        {"a.dsp", "a.dsp"},
        {"../../etc/x", "x"},
        {"C:\\x\\y.dsp", "y.dsp"},
        {"C:y.dsp", "y.dsp"},
        {"\\\\server\\share\\z.dsp", "z.dsp"},
        {nul("a\x01|b\x7F"), "a__b_"},
        {"a<b>c:d\"e|f?g*h", "a_b_c_d_e_f_g_h"},
        {"..", "download"},
        {".", "download"},
        {"", "download"},
        {"x/", "download"},
        {" . ", "download"},
        {"COM1.dsp", "_COM1.dsp"},
        {"nul", "_nul"},
        {"com10.dsp", "com10.dsp"},
        {"..a", "..a"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(safe_file_name(in), out) << in;
}

TEST(DataBlocks, CheckAndAssemble) {
    const std::string file = test::pattern_bytes(3 * 1024);
    std::vector<std::string> records;
    for (std::size_t k = 0; k < 3; ++k)
        records.push_back(with_crc("\x02\x01\xFE", file.substr(k * 1024, 1024)));
    EXPECT_TRUE(block_crc_ok(records[0]));
    EXPECT_FALSE(block_crc_ok(records[0].substr(0, 1028)));
    std::string swapped = records[0];
    std::swap(swapped[1027], swapped[1028]);
    ASSERT_NE(swapped, records[0]);
    EXPECT_FALSE(block_crc_ok(swapped));

    EXPECT_EQ(assemble_blocks(records, 2500), file.substr(0, 2500));
    EXPECT_EQ(assemble_blocks(records, 3072), file);
    EXPECT_EQ(assemble_blocks({}, 0), std::string());
    EXPECT_EQ(assemble_blocks({records[0], records[1]}, 2500), std::nullopt);
    records[2][10] = static_cast<char>(records[2][10] ^ 0x01); // one corrupt block
    EXPECT_EQ(assemble_blocks(records, 2500), std::nullopt);
}

} // namespace
} // namespace velk2
