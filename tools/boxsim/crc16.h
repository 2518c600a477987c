// The block check of the YMODEM stream.
#pragma once

#include <cstdint>
#include <string_view>

namespace boxsim {

// CRC-16 of XMODEM-CRC: polynomial 0x1021, initial value 0, most significant
// bit first, no final inversion. Goes on the wire high byte first.
std::uint16_t crc16_xmodem(std::string_view bytes);

} // namespace boxsim
