// The timers that drive the download's wait for the header: tmrR1 ends the
// wait, tmrR2 reopens the port at the other rate and asks again, tmrR3 counts
// the seconds down, tmrR4 only switches itself off.
#pragma once

#include "session/context.h"

namespace velk2 {

void tmrR1_Timer(Context& ctx);
void tmrR2_Timer(Context& ctx);
void tmrR3_Timer(Context& ctx);
void tmrR4_Timer(Context& ctx);

// Stops the three timers of the header wait.
void stop_header_timers(Context& ctx);

} // namespace velk2
