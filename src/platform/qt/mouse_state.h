// The mouse buttons held right now, as a bit set: 1 left, 2 right, 4 middle.
// Transfers ask for it in loops that process no events, so it must come from
// the pointer itself, not from Qt's events:
//   xcb        the X server is asked directly (X11, and XWayland on a
//              Wayland session);
//   offscreen  there is no pointer; the state is what input Qt was handed,
//   minimal    which is all there is (the window tests feed it);
//   any other  (wayland, eglfs, ...) only the state Qt last saw in an event,
//              which does not change while a transfer processes no events.
#pragma once

#include <string>

namespace velk2 {

int held_mouse_buttons();

// "" where held_mouse_buttons() sees the buttons as they are on `platform`
// (a Qt platform name); else one diagnostic line saying that they are not.
std::string mouse_state_problem(const char* platform);

// Chooses Qt's platform for a desktop run: xcb first, so that the buttons can
// be read (on a Wayland session through XWayland, since Qt's wayland platform
// gives no button state without events), wayland when no X server answers. A
// platform set in QT_QPA_PLATFORM stands. Call before the QApplication is made.
void prefer_x11_platform();

} // namespace velk2
