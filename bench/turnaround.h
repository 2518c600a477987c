// The loader's turn-around per data block, as the box timed it: from the
// moment the last byte of its ACK has left the paced line to the moment the
// first byte of the next data block reaches it. The box logs the pairs of
// a transfer on one line, in microseconds of the monotonic clock.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace bench {

// One data block's turn-around on the box's monotonic clock (us): its ACK
// gone, and the next block's first byte in.
struct TurnPair {
    long long gone = 0;
    long long in = 0;
};

// The pairs in a box log, in the order they came.
std::vector<TurnPair> turnaround_pairs(const std::string& box_log);

// The turn-arounds in a box log, in milliseconds, in the order they came.
std::vector<double> turnarounds_ms(const std::string& box_log);

struct Spread {
    std::size_t count = 0;
    double median = 0;
    double mean = 0;
    double p99 = 0; // nearest rank: 99 % of the values are at most this
    double max = 0;
};

Spread spread_of(std::vector<double> values);

} // namespace bench
