#include "shell/number_format.h"

namespace velk2 {

std::string format_length(std::int64_t n) {
    // Unsigned magnitude, so that the lowest value does not overflow.
    const std::uint64_t magnitude =
        n < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n);
    const std::string digits = std::to_string(magnitude);
    std::string text;
    text.reserve(digits.size() + 4);
    if (n < 0) text.push_back('-');
    for (std::size_t i = 0; i < digits.size(); ++i) {
        const std::size_t left = digits.size() - i; // digits from here to the end
        if (i > 0 && left <= 6 && left % 3 == 0) text += '-';
        text += digits[i];
    }
    return text;
}

} // namespace velk2
