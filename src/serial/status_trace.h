// Window fields of the information panel and the traffic trace files
// "inp_1.dat" (labelled lines) and "inp_2.dat" (framed raw records). The
// trace writers act only with the "(DBG2)" switch.
#pragma once

#include <string>

#include "shell/context.h"

namespace velk2 {

// Blanks `width` cells at (column, row) in black, then writes the text in
// white without cutting it; the text also goes to the diagnostic output.
void status_text(Context& ctx, int column, int row, int width, const std::string& text);

void trace_reset(Context& ctx);
// Code 0 empties "inp_1.dat"; any other code appends one line.
void trace_line(Context& ctx, int code, const std::string& label, const std::string& data);
// Code 0 empties "inp_2.dat"; any other code appends one record.
void trace_block(Context& ctx, int code, const std::string& data);

} // namespace velk2
