// A picture of the window as it would appear on screen, drawn without showing
// it (works on the offscreen platform): for window tests and screenshots.
#pragma once

#include <string>

#include "platform/window_model.h"

namespace velk2 {

// Writes a PNG of the whole window at its model size; false when the file
// could not be written.
bool render_window_png(Window& window, const std::string& path);

} // namespace velk2
