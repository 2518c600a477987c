#include "crc16.h"

namespace boxsim {

std::uint16_t crc16_xmodem(std::string_view bytes) {
    constexpr std::uint16_t poly = 0x1021;
    std::uint16_t crc = 0;
    for (const unsigned char byte : bytes) {
        crc ^= static_cast<std::uint16_t>(byte << 8);
        for (int bit = 0; bit < 8; ++bit) {
            const bool top = (crc & 0x8000) != 0;
            crc = static_cast<std::uint16_t>(crc << 1);
            if (top) crc ^= poly;
        }
    }
    return crc;
}

} // namespace boxsim
