// The box's line rates, the only ones a port opens at, so that a typo cannot
// open the line at a rate the box never uses. Each serial backend maps them
// to its own constants where it has to.
#pragma once

#include <optional>
#include <string>

namespace velk2 {

inline constexpr long long line_rates[] = {38400, 115200, 230400};

// The rate of a baud text ("38400", "115200", "230400") in bits per second;
// nothing for any other text.
std::optional<long long> line_rate(const std::string& baud);

} // namespace velk2
