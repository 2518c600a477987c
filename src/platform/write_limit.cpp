#include "platform/write_limit.h"

namespace velk2 {

namespace {

constexpr std::uint64_t bits_per_byte = 10;
constexpr std::uint64_t longest_ms = 0xFFFFFFFEu;

} // namespace

std::uint32_t write_limit_ms(std::size_t bytes, long long bits_per_s) {
    if (bits_per_s <= 0) return std::uint32_t(longest_ms);
    const std::uint64_t rate = std::uint64_t(bits_per_s);
    // No product below can overflow: a count this large is past the limit anyway.
    if (std::uint64_t(bytes) > longest_ms * rate / (bits_per_byte * 1000))
        return std::uint32_t(longest_ms);
    const std::uint64_t wire_ms = (std::uint64_t(bytes) * bits_per_byte * 1000 + rate - 1) / rate;
    const std::uint64_t limit = wire_ms + write_margin_ms;
    return std::uint32_t(limit < longest_ms ? limit : longest_ms);
}

} // namespace velk2
