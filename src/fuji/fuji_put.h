// "fuji Put": pokes six fixed values and reads each back to compare it, then
// clears one box region per block file of the put block folder.
#pragma once

#include "session/context.h"

namespace velk2 {

void fuji_put(Context& ctx);

} // namespace velk2
