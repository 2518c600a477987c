#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "platform/write_limit.h"

namespace velk2 {
namespace {

// The bound of one write: the bytes' line time at 10 bits a byte, rounded
// up, plus 2 s; never the record's "no limit" and never a wrapped number.
TEST(WriteLimit, LineTimeOfTheBytesPlusTheMargin) {
    const struct {
        std::size_t bytes;
        long long rate;
        std::uint32_t ms;
    } cases[] = {
        {0, 230400, 2000},
        {1, 38400, 2001},      // 0.26 ms rounds up, never down to nothing
        {1029, 230400, 2045},  // a data block: 44.66 ms on the line
        {1029, 38400, 2268},   // the same at the monitor's rate: 267.97 ms
        {23040, 230400, 3000}, // exactly one second: not rounded up again
        {23041, 230400, 3001},
        {300'000, 115200, 28042}, // a whole firmware image in one write
        {1, 0, 0xFFFFFFFEu},      // no rate known: the longest bound
        {std::numeric_limits<std::size_t>::max(), 38400, 0xFFFFFFFEu},
        {std::size_t(0xFFFFFFFFu) * 4, 38400, 0xFFFFFFFEu},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.bytes) + " bytes at " + std::to_string(c.rate));
        EXPECT_EQ(write_limit_ms(c.bytes, c.rate), c.ms);
    }
}

} // namespace
} // namespace velk2
