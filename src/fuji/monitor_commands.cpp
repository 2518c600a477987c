#include "fuji/monitor_commands.h"

namespace velk2 {

namespace {

std::string command(char code, std::uint32_t address) {
    std::string bytes(1, code);
    bytes += le32(address);
    return bytes;
}

} // namespace

std::string ping_reply(std::uint8_t speed_code) {
    return std::string{static_cast<char>(speed_code), '\0'};
}

std::string le32(std::uint32_t value) {
    return std::string{static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF),
                       static_cast<char>((value >> 16) & 0xFF),
                       static_cast<char>((value >> 24) & 0xFF)};
}

std::uint32_t read_le32(std::string_view bytes, std::size_t offset) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        if (offset + i < bytes.size())
            value |= std::uint32_t{static_cast<unsigned char>(bytes[offset + i])} << (8 * i);
    }
    return value;
}

std::uint8_t count_byte(std::size_t nbytes) {
    return static_cast<std::uint8_t>(((nbytes >> 2) - 1) & 0xFF);
}

std::string mon_ping() {
    return std::string(1, '\x07');
}

std::string mon_poke(std::uint32_t address, std::string_view value4) {
    return command('\x00', address).append(value4);
}

std::string mon_poke_value(std::uint32_t address, std::uint32_t value) {
    return mon_poke(address, le32(value));
}

std::string mon_peek(std::uint32_t address) {
    return command('\x04', address);
}

std::string mon_write(std::uint32_t address, std::string_view data) {
    std::string bytes = command('\x08', address);
    bytes.reserve(bytes.size() + 1 + data.size());
    bytes.push_back(static_cast<char>(count_byte(data.size())));
    bytes.append(data);
    return bytes;
}

std::string mon_read(std::uint32_t address, std::uint8_t count) {
    std::string bytes = command('\x0C', address);
    bytes.push_back(static_cast<char>(count));
    return bytes;
}

std::string mon_speed(std::uint8_t code) {
    return std::string{'\x43', static_cast<char>(code)};
}

} // namespace velk2
