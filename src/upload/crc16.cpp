#include "upload/crc16.h"

#include <array>

namespace velk2 {

namespace {

// One entry per value of the high byte: a whole upload runs over 2 MiB, so the
// bit-by-bit loop is done once, at compile time.
constexpr std::array<std::uint16_t, 256> make_table() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i << 8;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
        table[i] = static_cast<std::uint16_t>(crc);
    }
    return table;
}

constexpr std::array<std::uint16_t, 256> crc_table = make_table();

} // namespace

std::uint16_t crc16(std::string_view data) {
    std::uint16_t crc = 0;
    for (char c : data) {
        const auto byte = static_cast<unsigned char>(c);
        crc = static_cast<std::uint16_t>((crc << 8) ^ crc_table[((crc >> 8) ^ byte) & 0xFF]);
    }
    return crc;
}

} // namespace velk2
