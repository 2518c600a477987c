// Byte texts as characters. Paths and names the user typed are UTF-8 text;
// bytes from the box are Latin-1, one character per byte.
#pragma once

#include <string>
#include <string_view>

namespace velk2 {

// The characters of a byte text, one per valid UTF-8 sequence; every byte
// that is not part of one (a Latin-1 byte, a cut or overlong sequence)
// counts as the Latin-1 character of that byte.
std::u32string utf8_or_latin1_characters(std::string_view bytes);

void append_utf8(std::string& text, char32_t character);

std::string latin1_to_utf8(std::string_view bytes);

} // namespace velk2
