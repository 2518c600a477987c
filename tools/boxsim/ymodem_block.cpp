#include "ymodem_block.h"

#include "crc16.h"

#include <cstdio>
#include <limits>

namespace boxsim::ymodem {

std::string make_packet(char lead, std::uint8_t number, std::string_view data) {
    std::string packet;
    packet.reserve(data.size() + overhead);
    packet += lead;
    packet += static_cast<char>(number);
    packet += static_cast<char>(255 - number);
    packet += data;
    const std::uint16_t crc = crc16_xmodem(data);
    packet += static_cast<char>(crc >> 8);
    packet += static_cast<char>(crc & 0xFF);
    return packet;
}

std::string header_field(std::string_view name, std::string_view size_text) {
    std::string field(name);
    field += '\0';
    field += size_text;
    field.resize(short_data, '\0');
    return field;
}

std::string packet_problem(std::string_view packet) {
    if (packet.size() < overhead) return "short packet";
    const std::size_t expected = packet[0] == SOH ? short_packet : long_packet;
    if ((packet[0] != SOH && packet[0] != STX) || packet.size() != expected) {
        return "bad lead byte or length";
    }
    const auto number = static_cast<std::uint8_t>(packet[1]);
    const auto complement = static_cast<std::uint8_t>(packet[2]);
    if (complement != 255 - number) return "number and complement disagree";
    const std::uint16_t computed = crc16_xmodem(packet_data(packet));
    const auto received =
        static_cast<std::uint16_t>(static_cast<unsigned char>(packet[packet.size() - 2]) << 8 |
                                   static_cast<unsigned char>(packet[packet.size() - 1]));
    if (computed != received) {
        char text[48];
        std::snprintf(text, sizeof text, "CRC %04X, block says %04X", computed, received);
        return text;
    }
    return {};
}

Header parse_header(std::string_view field) {
    Header header;
    const std::size_t nul = field.find('\0');
    header.name = std::string(field.substr(0, nul));
    if (nul == std::string_view::npos) return header;
    std::uint64_t size = 0;
    bool digits = false;
    for (std::size_t i = nul + 1; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) {
        const unsigned digit = static_cast<unsigned>(field[i] - '0');
        if (size > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return header;
        size = size * 10 + digit;
        digits = true;
    }
    if (digits) header.size = size;
    return header;
}

} // namespace boxsim::ymodem
