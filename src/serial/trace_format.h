// The layouts of the two trace files: "inp_1.dat" holds one labelled line per
// event, "inp_2.dat" framed records of raw data that line up in a 16-byte-wide
// hex view. Writing the files is the trace writer's job; these only shape the
// bytes.
#pragma once

#include <string>

namespace velk2 {

// The code field of a record: three digits, zero-filled ("007", "255").
// Codes are 0..255; anything else keeps its last three digits.
std::string format_code3(int code);

// One "inp_1.dat" line, CR LF included: "<" + letter of (code + 64) + "> " +
// label, then ":" + data for data starting with a blank, "-> " + hex_bytes of
// any other non-empty data.
std::string trace_line_text(int code, const std::string& label, const std::string& data);

// One "inp_2.dat" record: a 32-byte start row with the code, the data padded
// with blanks to a multiple of 16, and a 48-byte end frame. 80 bytes plus the
// padded data.
std::string trace_block_record(int code, const std::string& data);

} // namespace velk2
