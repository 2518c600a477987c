// The box monitor's command bytes. Every command is one byte string, written
// to the port in one piece; multi-byte addresses and values go out
// little-endian. Replies are taken by the callers after their own pause.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velk2 {

// Speed codes of mon_speed; each is also the first byte of the ping reply at
// that speed.
constexpr std::uint8_t speed_230400 = 0x23;
constexpr std::uint8_t speed_38400 = 0xD4;

// The reply to mon_ping at the line speed that `speed_code` names:
// the code, then 0x00.
std::string ping_reply(std::uint8_t speed_code);

// Four bytes, lowest first.
std::string le32(std::uint32_t value);

// The 32-bit value at `offset`, lowest byte first; bytes beyond the text read
// as 0 (a short reply gives the value of the bytes that came).
std::uint32_t read_le32(std::string_view bytes, std::size_t offset);

// The count byte of a read or write of `nbytes`: (nbytes >> 2) - 1, low
// 8 bits. It matches the data only for 4 to 1024 bytes in whole 4-byte words.
std::uint8_t count_byte(std::size_t nbytes);

std::string mon_ping();                                                 // 07
std::string mon_poke(std::uint32_t address, std::string_view value4);   // 00 A4 V4
std::string mon_poke_value(std::uint32_t address, std::uint32_t value); // 00 A4 le32(V)
std::string mon_peek(std::uint32_t address);                            // 04 A4
std::string mon_write(std::uint32_t address, std::string_view data);    // 08 A4 c data
std::string mon_read(std::uint32_t address, std::uint8_t count);        // 0C A4 c
std::string mon_speed(std::uint8_t code);                               // 43 code

} // namespace velk2
