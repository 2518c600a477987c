#include "serial/hex_format.h"

#include <cstddef>

namespace velk2 {

namespace {

constexpr char digits[] = "0123456789ABCDEF";
constexpr std::size_t bytes_per_line = 10;

void put_hex(std::string& out, char c) {
    const auto byte = static_cast<unsigned char>(c);
    out.push_back(digits[byte >> 4]);
    out.push_back(digits[byte & 0x0F]);
    out.push_back(' ');
}

} // namespace

std::string hex_bytes(std::string_view data) {
    std::string text;
    text.reserve(data.size() * 3);
    for (char c : data) put_hex(text, c);
    return text;
}

std::string hex_dump(std::string_view data) {
    std::string text;
    text.reserve(data.size() * 3 + (data.size() / bytes_per_line) * 2);
    for (std::size_t i = 0; i < data.size(); ++i) {
        put_hex(text, data[i]);
        if ((i + 1) % bytes_per_line == 0) text.append("\r\n");
    }
    return text;
}

} // namespace velk2
