#include "turnaround.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numeric>

namespace bench {

namespace {

const std::string marker = "PC turn-around, ";
const std::string pairs_start = "):";

// One "gone>in" pair at `at`; moves `at` past it. False when none is there.
bool next_pair(const std::string& line, std::size_t& at, long long& gone, long long& in) {
    while (at < line.size() && line[at] == ' ') ++at;
    const char* end = line.data() + line.size();
    auto [mid, ec] = std::from_chars(line.data() + at, end, gone);
    if (ec != std::errc() || mid == end || *mid != '>') return false;
    auto [last, ec2] = std::from_chars(mid + 1, end, in);
    if (ec2 != std::errc()) return false;
    at = static_cast<std::size_t>(last - line.data());
    return true;
}

} // namespace

std::vector<TurnPair> turnaround_pairs(const std::string& box_log) {
    std::vector<TurnPair> out;
    for (std::size_t at = box_log.find(marker); at != std::string::npos;
         at = box_log.find(marker, at)) {
        const std::size_t eol = std::min(box_log.find('\n', at), box_log.size());
        const std::string line = box_log.substr(at, eol - at);
        std::size_t pos = line.find(pairs_start);
        if (pos != std::string::npos) {
            pos += pairs_start.size();
            for (long long gone = 0, in = 0; next_pair(line, pos, gone, in);)
                out.push_back({gone, in});
        }
        at = eol;
    }
    return out;
}

std::vector<double> turnarounds_ms(const std::string& box_log) {
    std::vector<double> out;
    for (const TurnPair& p : turnaround_pairs(box_log))
        out.push_back(double(p.in - p.gone) / 1000.0);
    return out;
}

Spread spread_of(std::vector<double> values) {
    Spread s;
    s.count = values.size();
    if (values.empty()) return s;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    s.median = n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    s.mean = std::accumulate(values.begin(), values.end(), 0.0) / double(n);
    const auto rank = static_cast<std::size_t>(std::ceil(0.99 * double(n)));
    s.p99 = values[std::max<std::size_t>(rank, 1) - 1];
    s.max = values.back();
    return s;
}

} // namespace bench
