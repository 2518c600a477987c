// YMODEM packets as the box builds and checks them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace boxsim::ymodem {

inline constexpr char SOH = 0x01;
inline constexpr char STX = 0x02;
inline constexpr char EOT = 0x04;
inline constexpr char ACK = 0x06;
inline constexpr char NAK = 0x15;
inline constexpr char C = 0x43;

inline constexpr std::size_t short_data = 128;
inline constexpr std::size_t long_data = 1024;
inline constexpr std::size_t overhead = 5; // lead, number, complement, 2 check bytes
inline constexpr std::size_t short_packet = short_data + overhead;
inline constexpr std::size_t long_packet = long_data + overhead;

// Lead byte, number, 255 - number, the data, its CRC-16 high byte first.
std::string make_packet(char lead, std::uint8_t number, std::string_view data);

// The 128-byte data field of block 0: name, NUL, size text, NULs; cut at 128.
std::string header_field(std::string_view name, std::string_view size_text);

// Empty when the packet is sound (SOH with 128 or STX with 1024 data bytes,
// complement, check bytes); otherwise what is wrong with it.
std::string packet_problem(std::string_view packet);

inline std::uint8_t packet_number(std::string_view packet) {
    return static_cast<std::uint8_t>(packet[1]);
}
inline std::string_view packet_data(std::string_view packet) {
    return packet.substr(3, packet.size() - overhead);
}

// What a block-0 field says. The size is absent when no digits follow the
// name's NUL, or when they do not fit 64 bits.
struct Header {
    std::string name;
    std::optional<std::uint64_t> size;
};
Header parse_header(std::string_view field);

} // namespace boxsim::ymodem
