// "Getfuji": reads the fuji head and trail from the box into the file named
// by `fuji_file` and shows their summary in the window title.
#pragma once

#include "shell/context.h"

namespace velk2 {

void cmgetfuji_Click(Context& ctx);

} // namespace velk2
