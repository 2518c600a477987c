// Lengths as the window's 9-character length field shows them.
#pragma once

#include <cstdint>
#include <string>

namespace velk2 {

// The decimal digits grouped in threes from the right with "-", and no "-"
// in front: 2500 -> "2-500", 1234567 -> "1-234-567", 500 -> "500",
// 0 -> "0". Digits beyond the third group stay together in front
// (1234567890 -> "1234-567-890"); a negative value gets a leading "-".
std::string format_length(std::int64_t n);

} // namespace velk2
