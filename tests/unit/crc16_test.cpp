#include "upload/crc16.h"

#include "hex_text.h"

#include <gtest/gtest.h>

namespace velk2 {
namespace {

// The textbook bit-at-a-time form, to hold the table against.
std::uint16_t crc16_bitwise(std::string_view data) {
    unsigned crc = 0;
    for (char c : data) {
        crc ^= static_cast<unsigned>(static_cast<unsigned char>(c)) << 8;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
    }
    return static_cast<std::uint16_t>(crc & 0xFFFF);
}

TEST(Crc16, KnownValues) {
    EXPECT_EQ(crc16("123456789"), 0x31C3);
    EXPECT_EQ(crc16(""), 0x0000);
    EXPECT_EQ(crc16(std::string(128, '\0')), 0x0000);
    EXPECT_EQ(crc16(std::string(1024, '\0')), 0x0000);
}

TEST(Crc16, MatchesBitwiseOverEveryByteValue) {
    const std::string data = test::pattern_bytes(4096);
    EXPECT_EQ(crc16(data), crc16_bitwise(data));
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        ASSERT_EQ(crc16(one), crc16_bitwise(one)) << b;
    }
}

} // namespace
} // namespace velk2
