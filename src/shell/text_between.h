// The start-up's way of picking a port, a file or a switch out of a name or
// an argument.
#pragma once

#include <string>

namespace velk2 {

// The text between the first `left` and the next `right` after it (exact,
// case-sensitive). An empty `left` starts at the beginning, an empty `right`
// runs to the end; a mark that is not found gives an empty text.
std::string text_between(const std::string& text, const std::string& left,
                         const std::string& right);

} // namespace velk2
