#include "platform/text_utf8.h"

namespace velk2 {

namespace {

// Length of the sequence that a lead byte starts, 0 for a byte that starts
// none (continuation bytes, C0 and C1 which only start overlong forms, F5 up).
std::size_t sequence_length(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

} // namespace

std::u32string utf8_or_latin1_characters(std::string_view bytes) {
    std::u32string characters;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const std::size_t n = sequence_length(lead);
        bool valid = n > 0 && i + n <= bytes.size();
        char32_t c = n == 1 ? lead : lead & (0x7F >> n);
        for (std::size_t k = 1; valid && k < n; ++k) {
            const auto b = static_cast<unsigned char>(bytes[i + k]);
            valid = (b & 0xC0) == 0x80;
            c = c << 6 | (b & 0x3F);
        }
        // Overlong three- and four-byte forms, surrogates, past U+10FFFF.
        if (valid && ((n == 3 && c < 0x800) || (c >= 0xD800 && c <= 0xDFFF) ||
                      (n == 4 && (c < 0x10000 || c > 0x10FFFF))))
            valid = false;
        characters += valid ? c : char32_t(lead);
        i += valid ? n : 1;
    }
    return characters;
}

void append_utf8(std::string& text, char32_t c) {
    if (c < 0x80) {
        text += char(c);
    } else if (c < 0x800) {
        text += char(0xC0 | c >> 6);
        text += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        text += char(0xE0 | c >> 12);
        text += char(0x80 | (c >> 6 & 0x3F));
        text += char(0x80 | (c & 0x3F));
    } else {
        text += char(0xF0 | c >> 18);
        text += char(0x80 | (c >> 12 & 0x3F));
        text += char(0x80 | (c >> 6 & 0x3F));
        text += char(0x80 | (c & 0x3F));
    }
}

std::string latin1_to_utf8(std::string_view bytes) {
    std::string text;
    for (char b : bytes) append_utf8(text, static_cast<unsigned char>(b));
    return text;
}

} // namespace velk2
