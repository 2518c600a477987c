// What a device holds after the line settings were applied, read back from
// its own record (termios, DCB), and what of the wanted settings did not
// take: a driver may accept settings and keep others, and then no system
// call failed and no system error says why.
#pragma once

#include <string>

namespace velk2 {

struct LineReadBack {
    long long rate = 0;       // bits per second; 0: a rate the backend cannot name
    long long input_rate = 0; // where input has a rate of its own, else `rate`
    int data_bits = 8;
    bool parity = false;
    const char* stop_bits = "1";
    bool line_editing = false; // the line discipline edits lines (not raw)
};

// "" when `rate`, 8 data bits, no parity, 1 stop bit and raw bytes all took;
// else what did not, e.g. "line settings read back 115200 baud instead of
// 230400".
std::string read_back_mismatch(const LineReadBack& took, long long rate);

} // namespace velk2
