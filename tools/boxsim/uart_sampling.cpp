#include "uart_sampling.h"

#include <cstdint>
#include <numeric>
#include <optional>

namespace boxsim {
namespace {

constexpr std::int64_t bits_per_frame = 10; // start, 8 data, stop

// The sender's line level over time, in ticks of a common time base.
struct SentLine {
    std::string_view bytes;
    std::int64_t bit_ticks;

    std::int64_t end() const {
        return bits_per_frame * bit_ticks * static_cast<std::int64_t>(bytes.size());
    }

    int level(std::int64_t t) const {
        if (t < 0 || t >= end()) return 1;
        const std::int64_t frame = t / (bits_per_frame * bit_ticks);
        const std::int64_t pos = (t % (bits_per_frame * bit_ticks)) / bit_ticks;
        if (pos == 0) return 0;
        if (pos == bits_per_frame - 1) return 1;
        const auto byte = static_cast<unsigned char>(bytes[static_cast<std::size_t>(frame)]);
        return (byte >> (pos - 1)) & 1;
    }

    // The first bit boundary at or after `t` where the line falls from high.
    std::optional<std::int64_t> falling_edge_from(std::int64_t t) const {
        for (std::int64_t b = (t + bit_ticks - 1) / bit_ticks * bit_ticks; b < end();
             b += bit_ticks) {
            if (level(b - 1) == 1 && level(b) == 0) return b;
        }
        return std::nullopt;
    }
};

} // namespace

std::string resample(std::string_view bytes, int tx_baud, int rx_baud) {
    if (tx_baud == rx_baud || tx_baud <= 0 || rx_baud <= 0) return std::string(bytes);
    // One tick is gcd / (2 * tx * rx) seconds: both bit times and the
    // receiver's half bit are then whole numbers of ticks.
    const std::int64_t g = std::gcd(tx_baud, rx_baud);
    const SentLine line{bytes, 2 * (rx_baud / g)};
    const std::int64_t rx_bit = 2 * (tx_baud / g);

    std::string received;
    std::int64_t hunt_from = 0;
    while (const auto edge = line.falling_edge_from(hunt_from)) {
        const std::int64_t start_sample = *edge + rx_bit / 2;
        if (line.level(start_sample) != 0) {
            hunt_from = start_sample; // false start
            continue;
        }
        unsigned value = 0;
        for (int i = 0; i < 8; ++i) {
            value |= static_cast<unsigned>(line.level(start_sample + (i + 1) * rx_bit)) << i;
        }
        received.push_back(static_cast<char>(value));
        hunt_from = start_sample + 9 * rx_bit;
    }
    return received;
}

} // namespace boxsim
