// Bytes as text for the event log.
#pragma once

#include <string>
#include <string_view>

namespace boxsim {

// Two upper-case hex digits per byte, separated by blanks; long texts are cut
// after `limit` bytes with " ..." so that one event stays one short line.
std::string hex_text(std::string_view bytes, std::size_t limit = 16);

// The text with every byte outside 0x20..0x7E and every backslash written as
// \xNN, so that names from the line cannot break a log or result line.
std::string printable(std::string_view bytes);

} // namespace boxsim
