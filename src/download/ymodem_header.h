// What the download takes from the box's YMODEM blocks: the checks of the
// 133-byte header, the file name and size it announces, a file name that is
// safe to propose on this machine, and the checked, assembled file data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velk2 {

constexpr std::size_t header_block_size = 133;
constexpr std::size_t data_record_size = 1029;

// The largest file the download accepts: as many blocks as an upload stream
// can carry. A header announcing more is refused rather than trusted with a
// memory allocation.
constexpr std::uint32_t download_max_size = 2044u * 1024u;

struct HeaderCheck {
    bool start_ok;                // starts 0x01 0x00 0xFF
    bool crc_ok;                  // 133 bytes and the data field's CRC matches
    std::uint32_t received_start; // first three bytes, first byte lowest
    std::uint16_t crc_computed;   // CRC of bytes 3..130
    std::uint16_t crc_received;   // bytes 131, 132, first byte lowest (as logged)
};

// Checks a header block as received; a short one fails one of the checks.
HeaderCheck check_header(std::string_view header);

struct HeaderFields {
    std::string file_name;             // up to the first 0x00, or all 128 bytes
    std::optional<std::uint32_t> size; // nullopt: no digits, or above download_max_size
    std::uint32_t block_count = 0;     // 1024-byte blocks that carry `size`; 0 when absurd
};

// Name and size from the data field of a header block (bytes 3..130). The size
// is the decimal digits right after the name's 0x00, up to the first other
// character; without digits (or without the 0x00) there is no size.
HeaderFields header_fields(std::string_view header);

// (size + 1023) / 1024.
std::uint32_t block_count(std::uint32_t size);

// A file name made from the name the box sent. The box controls that text, so
// it must never choose the folder: only the last component after "/" or "\"
// is kept, a drive prefix such as "C:" is dropped, control bytes and
// <>:"|?* become "_", a device name of Windows (CON, COM1, ...) gets a leading
// "_", and a name of dots and blanks only (".", "..", empty) becomes "download".
std::string safe_file_name(const std::string& header_name);

// A data block record of exactly 1029 bytes whose CRC over bytes 3..1026
// matches bytes 1027, 1028 (high-order byte first).
bool block_crc_ok(std::string_view record);

// The first `size` bytes of the data parts of the records, in order, when
// every record that carries them passes block_crc_ok; nullopt when one fails
// or too few records are given.
std::optional<std::string> assemble_blocks(const std::vector<std::string>& records,
                                           std::size_t size);

} // namespace velk2
