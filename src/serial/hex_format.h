// Readable hex forms of the bytes exchanged with the box, for the trace files
// and the diagnostic output.
#pragma once

#include <string>
#include <string_view>

namespace velk2 {

// Two upper-case hex digits and one blank per byte: "41 42 ".
std::string hex_bytes(std::string_view data);

// As hex_bytes, with CR LF after every 10th byte.
std::string hex_dump(std::string_view data);

} // namespace velk2
