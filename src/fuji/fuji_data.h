// The fixed data of the fuji operations: box addresses, the poke lists of
// fuji Def and fuji Put, the Live block write, the Getfuji summary and the
// box addresses that block file names give.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velk2 {

constexpr std::uint32_t fuji_block = 0x00CCA800;
constexpr std::uint32_t live_block = 0x00F0A800;

// Getfuji reads the 64-byte head with count 15 and the 8-byte trail with 1.
constexpr std::uint8_t fuji_head_count = 15;
constexpr std::uint8_t fuji_trail_count = 1;

// Ten records of fuji Def, back to back: address (little-endian), then the
// four value bytes as they are poked. 80 bytes.
std::string default_patch_list();

// Six records of fuji Put in the same layout; the values are the 32-bit
// numbers 0x130000, 0x10000 and their halves, little-endian. 48 bytes.
std::string put_patch_list();

struct PatchRecord {
    std::uint32_t address;
    std::string value; // 4 bytes as they go out
};

// The 8-byte records of a patch list, in order.
std::vector<PatchRecord> patch_records(std::string_view list);

// Where the trail lies: after the head and its variable part of 2 * n bytes,
// n being the 32-bit count at head offset 60 (32-bit arithmetic).
std::uint32_t fuji_trail_address(std::string_view head);

// The window-title summary of head + trail S:
// D(S[54]) ":" D(S[55]) " " S[40..47] "/ " H8(S[36..39]) "/ " H8(S[68..71]).
// Positions beyond the bytes received give empty text and the value 0, so a
// short head or a missing trail still gives a title. The box's bytes are
// Latin-1; the title is UTF-8 text.
std::string fuji_summary_title(const std::string& head_and_trail);

// The box address of a block file: the first eight characters of the name
// read as hexadecimal up to the first other character (unsigned, so
// "FFFFFFFF.bin" is 0xFFFFFFFF). A name that starts with no hex digit gives
// 0, as the plain numeric reading does. nullopt when the name does not end in
// ".bin" (any case): such files are not block files.
std::optional<std::uint32_t> address_from_file_name(const std::string& name);

// A block file moves in one write whose count byte covers it only for 4 to
// 1024 bytes in whole 4-byte words; other lengths would leave the monitor
// out of step with the bytes that follow.
bool block_file_length_ok(std::size_t length);

// fuji Live's write: 64 bytes 0xFF to live_block. 70 bytes.
std::string live_command();

// fuji Put's clearing write for a block file of `length` bytes: that many
// zero bytes to `address` (the file's own bytes are not sent).
std::string put_clear_command(std::uint32_t address, std::size_t length);

} // namespace velk2
