// What a UART at one rate makes of bytes sent at another. A pseudo-terminal
// carries bytes whatever the two ends set, so the simulator does to them what
// a real RS-232 line between mismatched rates would.
#pragma once

#include <string>
#include <string_view>

namespace boxsim {

// The bytes that a receiver at `rx_baud` samples from `bytes` sent back to back
// at `tx_baud`, both ends 8N1, the line idle (mark) before and after.
//
// The receiver hunts for a falling edge, checks the start bit at its middle
// (a high line there is a false start), samples 8 data bits least significant
// first and the stop bit at their middles, and delivers the byte even when the
// stop bit reads low (framing error, as a raw line discipline passes it on).
// It then hunts again from the stop-bit sample. One "C" at 115200 read at
// 230400 comes out as 0x1E 0xFE.
std::string resample(std::string_view bytes, int tx_baud, int rx_baud);

} // namespace boxsim
