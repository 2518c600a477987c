// Byte texts written the way the wire bytes are read: "08 00 A8 CC".
#pragma once

#include <string>
#include <string_view>

namespace velk2::test {

inline std::string from_hex(std::string_view hex) {
    std::string bytes;
    int high = -1;
    for (char c : hex) {
        int v = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (v < 0) continue;
        if (high < 0) {
            high = v;
        } else {
            bytes.push_back(static_cast<char>(high << 4 | v));
            high = -1;
        }
    }
    return bytes;
}

// Bytes i * 7 + 3 (mod 256): zero bytes included, no two neighbours alike.
inline std::string pattern_bytes(std::size_t n) {
    std::string bytes(n, '\0');
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>((i * 7 + 3) & 0xFF);
    return bytes;
}

} // namespace velk2::test
