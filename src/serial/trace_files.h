// The traffic trace files "inp_1.dat" (labelled lines) and "inp_2.dat"
// (framed raw records) in the work folder. The writers act only with the
// "(DBG2)" switch.
#pragma once

#include <string>

#include "session/context.h"

namespace velk2 {

void trace_reset(Context& ctx);
// Code 0 empties "inp_1.dat"; any other code appends one line.
void trace_line(Context& ctx, int code, const std::string& label, const std::string& data);
// Code 0 empties "inp_2.dat"; any other code appends one record.
void trace_block(Context& ctx, int code, const std::string& data);

} // namespace velk2
