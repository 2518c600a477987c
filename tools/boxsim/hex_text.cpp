#include "hex_text.h"

namespace boxsim {

std::string hex_text(std::string_view bytes, std::size_t limit) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (i > 0) text += ' ';
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    if (bytes.size() > limit) text += " ...";
    return text;
}

std::string printable(std::string_view bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    for (const char ch : bytes) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte >= 0x20 && byte <= 0x7E && ch != '\\') {
            text += ch;
        } else {
            text += "\\x";
            text += digits[byte >> 4];
            text += digits[byte & 0x0F];
        }
    }
    return text;
}

} // namespace boxsim
