// The distributed program "VELK_().EXE" writes one copy of itself per serial
// port that opens, "VELK_(COMn).exe", each of which then talks to its port.
#pragma once

#include <string>

#include "session/context.h"

namespace velk2 {

// True when at least one copy was written (the program then ends).
bool write_port_copies(Context& ctx, const std::string& own_path);

} // namespace velk2
