// "Download from Box": asks the box for its file with YMODEM (CRC, 1K
// blocks), keeps every block until the transfer is over, checks them all and
// saves the file under a name the user confirms.
#pragma once

#include "session/context.h"

namespace velk2 {

// Runs the whole download ("Download from Box"), from the first "C" to the
// closed port; the window processes events only while the header is awaited.
// Starts nothing while another exchange holds the port.
void download_file(Context& ctx);

} // namespace velk2
