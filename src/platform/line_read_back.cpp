#include "platform/line_read_back.h"

#include <string_view>

namespace velk2 {

namespace {

std::string rate_instead(long long took, long long wanted) {
    return took ? std::to_string(took) + " baud instead of " + std::to_string(wanted)
                : "another rate instead of " + std::to_string(wanted) + " baud";
}

} // namespace

std::string read_back_mismatch(const LineReadBack& took, long long rate) {
    std::string wrong;
    const auto add = [&wrong](const std::string& what) {
        wrong += (wrong.empty() ? "" : ", ") + what;
    };
    if (took.rate != rate) add(rate_instead(took.rate, rate));
    if (took.input_rate != rate && took.input_rate != took.rate)
        add("input at " + rate_instead(took.input_rate, rate));
    if (took.data_bits != 8) add(std::to_string(took.data_bits) + " data bits instead of 8");
    if (took.parity) add("parity instead of none");
    if (std::string_view(took.stop_bits) != "1")
        add(std::string(took.stop_bits) + " stop bits instead of 1");
    if (took.line_editing) add("line editing instead of raw bytes");
    return wrong.empty() ? wrong : "line settings read back " + wrong;
}

} // namespace velk2
