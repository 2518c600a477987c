// "Getfuji": reads the fuji head and trail from the box into the file named
// by `fuji_file` (in the work folder) and shows their summary in the window title.
#pragma once

#include "session/context.h"

namespace velk2 {

// Runs inside the fuji frame; starts nothing while another exchange holds the
// port.
void getfuji(Context& ctx);

} // namespace velk2
