// The station window as a Window model, built from the layout and brought
// up to the station's state; both front ends draw it like the main window.
#pragma once

#include "platform/window_model.h"
#include "station/station_model.h"

namespace velk2 {

// Creates the controls on first use (a window holding another number of
// rows is built anew, without the controls a front end added: bind the
// click handlers and add those again then) and brings every
// text, value and enabled state up to `state`. The revision moves only when
// something changed, so a painter repaints only then.
void update_station_window(Window& window, const StationState& state);

} // namespace velk2
