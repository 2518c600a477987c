#include "figures.h"

namespace bench {

double protocol_limit(int baud) {
    return baud / 10.0 * payload_per_block / line_bytes_per_block;
}

double limit_ratio(std::size_t payload_bytes, double seconds, int baud) {
    if (seconds <= 0) return 0;
    return double(payload_bytes) / seconds / protocol_limit(baud);
}

double line_seconds(std::size_t blocks, int baud) {
    return double(blocks) * line_bytes_per_block / (baud / 10.0);
}

std::string size_text(std::size_t bytes) {
    if (bytes % (1024 * 1024) == 0) return std::to_string(bytes / (1024 * 1024)) + " MiB";
    if (bytes % 1024 == 0) return std::to_string(bytes / 1024) + " KiB";
    return std::to_string(bytes) + " B";
}

} // namespace bench
