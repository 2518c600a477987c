// The service upload's monitor traffic: the data goes to the service address
// in pieces of up to 1024 bytes, one mon_write each, and the first two pieces
// (2048 bytes at most) are read back with mon_read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velk2 {

constexpr std::uint32_t service_address = 0x008E0000;
constexpr std::size_t service_piece_max = 1024;

struct ServicePiece {
    std::size_t offset; // in the data; the piece goes to service_address + offset
    std::size_t length;
};

// The pieces of `n` data bytes: 1024 bytes each from the start, the rest in
// the last. None for 3 bytes or fewer: such data is not sent at all.
std::vector<ServicePiece> service_pieces(std::size_t n);

// The count byte covers whole 4-byte words only, so a length that is not a
// multiple of 4 would leave the monitor reading the next command as data.
// Such data is refused before anything goes to the box; 0 to 3 bytes pass
// (nothing is sent for them).
bool service_data_ok(std::size_t n);

// The mon_write of one piece of `data`.
std::string service_write_command(const std::string& data, const ServicePiece& piece);

// The mon_read commands of the read-back, in order: one per piece, for the
// first two pieces at most.
std::vector<std::string> service_readback_commands(std::size_t n);

} // namespace velk2
