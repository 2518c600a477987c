#include "upload/ymodem_stream.h"

#include "hex_text.h"
#include "upload/crc16.h"

#include <gtest/gtest.h>

namespace velk2 {
namespace {

std::string crc_bytes(std::string_view data) {
    const std::uint16_t crc = crc16(data);
    return {static_cast<char>(crc >> 8), static_cast<char>(crc & 0xFF)};
}

TEST(Block0, NameAndLength) {
    EXPECT_EQ(block0_text("a.dsp", 5), std::string("a.dsp\0"
                                                   "5\0",
                                                   8) +
                                           std::string(120, '\0'));
    const std::string long_name(130, 'n');
    EXPECT_EQ(block0_text(long_name, 5), long_name.substr(0, 128));
    EXPECT_EQ(block0_text(std::string(125, 'n'), 1000), std::string(125, 'n') + std::string("\0"
                                                                                            "10",
                                                                                            3));
}

TEST(Block0, BaseName) {
    EXPECT_EQ(base_name("C:\\fw\\a.dsp"), "a.dsp");
    EXPECT_EQ(base_name("/home/u/fw/a.dsp"), "a.dsp");
    EXPECT_EQ(base_name("a.dsp"), "a.dsp");
}

TEST(LetStream, PacketsAndTable) {
    const std::pair<std::size_t, int> cases[] = {{0, 1},    {1000, 1}, {1023, 1},
                                                 {1024, 2}, {5000, 5}, {256 * 1024, 257}};
    for (const auto& [length, blocks] : cases) {
        SCOPED_TRACE(length);
        const std::string payload = test::pattern_bytes(length);
        const Stream s = letstream(payload, "/fw/box.dsp");

        ASSERT_EQ(s.stream_buf.size(), 133u + 1029u * blocks + 135u);
        ASSERT_EQ(s.stream_tab.size(), static_cast<std::size_t>(blocks) + 4);
        EXPECT_EQ(s.last_data, blocks + 1);
        std::int32_t next = 0;
        for (const StreamEntry& e : s.stream_tab) {
            EXPECT_EQ(e.start, next);
            next = e.start + e.len;
        }
        EXPECT_EQ(static_cast<std::size_t>(next), s.stream_buf.size());

        const std::string text = block0_text("box.dsp", length);
        EXPECT_EQ(stream_packet(s, 1), test::from_hex("01 00 FF") + text + crc_bytes(text));
        std::string padded = payload;
        padded.resize(static_cast<std::size_t>(blocks) * 1024, '\0');
        for (int k = 1; k <= blocks; ++k) {
            const std::string data = padded.substr(static_cast<std::size_t>(k - 1) * 1024, 1024);
            const std::string head = {'\x02', static_cast<char>(k & 0xFF),
                                      static_cast<char>(255 - (k & 0xFF))};
            ASSERT_EQ(stream_packet(s, k + 1), head + data + crc_bytes(data)) << "block " << k;
        }
        EXPECT_EQ(stream_packet(s, s.last_data + 1), "\x04");
        EXPECT_EQ(stream_packet(s, s.last_data + 2), "\x04");
        EXPECT_EQ(stream_packet(s, s.last_data + 3),
                  test::from_hex("01 00 FF") + std::string(130, '\0'));
        EXPECT_EQ(s.stream_buf.substr(s.stream_buf.size() - 135),
                  test::from_hex("04 04 01 00 FF") + std::string(130, '\0'));
    }
}

TEST(LetStream, BlockNumbersWrapAfter255) {
    const Stream s = letstream(std::string(256 * 1024, 'x'), "a.dsp");
    EXPECT_EQ(stream_packet(s, 256).substr(0, 3), test::from_hex("02 FF 00"));
    EXPECT_EQ(stream_packet(s, 257).substr(0, 3), test::from_hex("02 00 FF"));
    EXPECT_EQ(stream_packet(s, 258).substr(0, 3), test::from_hex("02 01 FE"));
    // A payload that fills its blocks exactly ends with a block of zeros,
    // whose check bytes are 00 00.
    EXPECT_EQ(stream_packet(s, 258).substr(3), std::string(1026, '\0'));
}

TEST(LetStream, LargestPayloadFillsTheTable) {
    const Stream s = letstream(std::string(stream_max_payload, '\x5A'), "a.dsp");
    EXPECT_EQ(s.stream_tab.size(), static_cast<std::size_t>(stream_tab_capacity));
    EXPECT_TRUE(stream_packet(s, stream_tab_capacity + 1).empty());
}

} // namespace
} // namespace velk2
