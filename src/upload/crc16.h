// CRC-16 of the YMODEM blocks: XMODEM-CRC, polynomial 0x1021, start value 0,
// most significant bit first, no final inversion. The upload and the download
// both check their 128- and 1024-byte data fields with it.
#pragma once

#include <cstdint>
#include <string_view>

namespace velk2 {

std::uint16_t crc16(std::string_view data);

} // namespace velk2
