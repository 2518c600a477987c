// The mouse buttons held right now, as a bit set: 1 left, 2 right, 4 middle.
// Transfers ask for it in loops that process no events, so on X11 the server
// is asked directly; elsewhere the state that Qt last saw is the best there is.
#pragma once

namespace velk2 {

int held_mouse_buttons();

} // namespace velk2
