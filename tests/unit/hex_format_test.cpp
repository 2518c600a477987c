#include "serial/hex_format.h"

#include "hex_text.h"

#include <gtest/gtest.h>

namespace velk2 {
namespace {

TEST(HexFormat, Bytes) {
    const std::pair<std::string, std::string> cases[] = {
        {std::string("\x00\x0A\xFF", 3), "00 0A FF "},
        {"AB", "41 42 "},
        {"", ""},
    };
    for (const auto& [data, text] : cases) {
        EXPECT_EQ(hex_bytes(data), text);
        EXPECT_EQ(hex_dump(data), text);
    }
}

TEST(HexFormat, DumpBreaksAfterEveryTenthByte) {
    const std::string line = "00 01 02 03 04 05 06 07 08 09 ";
    const std::pair<std::size_t, std::string> cases[] = {
        {9, line.substr(0, 27)},
        {10, line + "\r\n"},
        {20, line + "\r\n" + line + "\r\n"},
        {25, line + "\r\n" + line + "\r\n" + line.substr(0, 15)},
    };
    for (const auto& [n, text] : cases) {
        std::string data;
        for (std::size_t i = 0; i < n; ++i) data += static_cast<char>(i % 10);
        EXPECT_EQ(hex_dump(data), text) << n;
    }
}

} // namespace
} // namespace velk2
