#include "platform/line_rates.h"

namespace velk2 {

std::optional<long long> line_rate(const std::string& baud) {
    for (const long long rate : line_rates)
        if (baud == std::to_string(rate)) return rate;
    return std::nullopt;
}

} // namespace velk2
