// How long one write to the serial line may take before the line counts as
// lost: the bytes' own time on the wire at the line's rate, plus a margin for
// a driver that is slow to take them. Both serial backends bound their writes
// with it, so a stalled driver can never hold a write for ever.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velk2 {

// A write may stall on a busy driver this much beyond the bytes' line time.
inline constexpr std::uint32_t write_margin_ms = 2000;

// Milliseconds for `bytes` at `bits_per_s` (start bit, 8 data bits, stop bit:
// 10 bits a byte), rounded up, plus the margin; at most 0xFFFFFFFE, below the
// value that a COM port's time-out record reads as "no limit".
std::uint32_t write_limit_ms(std::size_t bytes, long long bits_per_s);

} // namespace velk2
