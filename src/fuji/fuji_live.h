// "fuji Live": writes the 64-byte block of 0xFF bytes to the box again and
// again until the user asks it to stop.
#pragma once

#include "shell/context.h"

namespace velk2 {

void cmchgfuji_Click(Context& ctx);

} // namespace velk2
