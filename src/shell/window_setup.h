// Setting up the window frm1: its controls from the layout, the report
// through which the exchanges show in it, and the handlers its controls run.
#pragma once

#include "session/context.h"

namespace velk2 {

// Creates the controls, timers and panel state of a fresh window and the
// window report. Click and tick handlers are bound by wire_handlers.
void create_window(Context& ctx);

// Binds the click, tick, close and activation handlers to the controls.
void wire_handlers(Context& ctx);

} // namespace velk2
