// "fuji Def": puts the box back into its default state: ten fixed pokes, then
// every block file of the default block folder written to its address.
#pragma once

#include "session/context.h"

namespace velk2 {

void fuji_def(Context& ctx);

} // namespace velk2
