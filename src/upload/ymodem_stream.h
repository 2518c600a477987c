// The YMODEM batch stream of one upload, built in memory before the port is
// opened so that the sender only slices it: block 0 (name and size), the
// 1024-byte data blocks, two EOT bytes and the closing empty block 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velk2 {

constexpr char ymodem_soh = 0x01;
constexpr char ymodem_stx = 0x02;
constexpr char ymodem_eot = 0x04;
constexpr char ymodem_ack = 0x06;
constexpr char ymodem_nak = 0x15;
constexpr char ymodem_c = 0x43;

constexpr std::size_t block0_size = 133;
constexpr std::size_t data_packet_size = 1029;
constexpr std::size_t data_block_payload = 1024;

// The packet table has room for 2048 entries: block 0, the data blocks, two
// EOTs and the closing block, so at most 2044 data blocks. A payload always
// gets one block more than it fills, hence 2044 * 1024 - 1.
constexpr int stream_tab_capacity = 2048;
constexpr std::size_t stream_max_payload = 2093055;

struct StreamEntry {
    std::int32_t start; // offset of the packet's first byte in stream_buf
    std::int32_t len;
};

struct Stream {
    std::string stream_buf;
    std::vector<StreamEntry> stream_tab; // entry 1 at index 0
    int last_data = 0;                   // entry number of the last data block
};

// The base name of an upload path: the text after the last "/" or "\" (both
// are taken, so a Windows-shaped path stored in the settings also works), or
// the whole path when it has neither.
std::string base_name(const std::string& path);

// The 128-byte data field of block 0: name, 0x00, decimal length, 0x00, zero
// fill; cut at 128 bytes when name and length need more.
std::string block0_text(const std::string& base_name, std::size_t length);

// Whether name, 0x00, the decimal length and a terminating 0x00 fit the 128
// bytes of block 0. A cut text would announce a shorter size (or none) and
// the box would keep the wrong number of bytes.
bool block0_fits(const std::string& base_name, std::size_t length);

// Builds the stream for the payload; only the base name of `upload_file` is
// sent. Precondition: payload.size() <= stream_max_payload (callers refuse
// larger payloads before the port is opened).
Stream letstream(const std::string& payload, const std::string& upload_file);

// The bytes of packet `entry` (numbered from 1 as in stream_tab); empty for
// an entry outside the table.
std::string_view stream_packet(const Stream& stream, int entry);

} // namespace velk2
