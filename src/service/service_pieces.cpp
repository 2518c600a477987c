#include "service/service_pieces.h"

#include "fuji/monitor_commands.h"

#include <algorithm>
#include <string_view>

namespace velk2 {

namespace {

// The read-back goes on while fewer than 2048 bytes have come back.
constexpr std::size_t readback_limit = 2048;

std::uint32_t piece_address(const ServicePiece& piece) {
    return service_address + static_cast<std::uint32_t>(piece.offset);
}

} // namespace

std::vector<ServicePiece> service_pieces(std::size_t n) {
    std::vector<ServicePiece> pieces;
    if (n <= 3) return pieces;
    for (std::size_t offset = 0; offset < n; offset += service_piece_max)
        pieces.push_back({offset, std::min(service_piece_max, n - offset)});
    return pieces;
}

bool service_data_ok(std::size_t n) {
    return n <= 3 || n % 4 == 0;
}

std::string service_write_command(const std::string& data, const ServicePiece& piece) {
    return mon_write(piece_address(piece),
                     std::string_view(data).substr(piece.offset, piece.length));
}

std::vector<std::string> service_readback_commands(std::size_t n) {
    std::vector<std::string> commands;
    std::size_t done = 0;
    for (const ServicePiece& piece : service_pieces(n)) {
        if (done >= readback_limit) break;
        commands.push_back(mon_read(piece_address(piece), count_byte(piece.length)));
        done += piece.length;
    }
    return commands;
}

} // namespace velk2
