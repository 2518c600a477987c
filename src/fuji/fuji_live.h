// "fuji Live": writes the 64-byte block of 0xFF bytes to the box again and
// again until the user asks it to stop.
#pragma once

#include "session/context.h"

namespace velk2 {

void fuji_live(Context& ctx);

} // namespace velk2
