// The figures a case prints, and the protocol limit they are measured
// against: a 1029-byte line block (STX, number, complement, 1024 data bytes,
// CRC-16) carries 1024 payload bytes, and a line of `baud` carries baud / 10
// bytes a second (start bit, 8 data bits, stop bit).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace bench {

constexpr double payload_per_block = 1024;
constexpr double line_bytes_per_block = 1029;

// Payload bytes per second at the protocol limit.
double protocol_limit(int baud);

// Measured payload throughput as a share of the protocol limit.
double limit_ratio(std::size_t payload_bytes, double seconds, int baud);

// Seconds the line needs for `blocks` data blocks at `baud`.
double line_seconds(std::size_t blocks, int baud);

struct Figures {
    std::string name;
    std::size_t payload = 0;
    int baud = 0;
    bool ok = false;                    // ran to its end with exit status 0 and the file identical
    std::string problem;                // why not, when not ok
    double wall = 0;                    // program start to exit
    double phase = 0;                   // the measured transfer phase (see the case)
    double ratio = 0;                   // payload / phase against the protocol limit
    std::optional<double> blocks_ratio; // the data blocks alone, where the case can tell
    double cpu_share = 0;               // user + system / wall, whole process
    long maxrss_kib = 0;
    long growth_kib = 0; // maxrss minus the baseline run's
    // Upload: the loader's turn-around per data block, ACK gone to the next
    // block in, as the box timed it (ms).
    std::vector<double> turnaround_ms;
};

std::string size_text(std::size_t bytes);

} // namespace bench
