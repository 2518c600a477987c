// Pictures through the Windows Imaging Component: a JPG (or any picture WIC
// reads) as a bitmap for the image control, and a bitmap written as PNG for
// the window pictures. COM must be initialised on the calling thread.
#pragma once

#include <string>

#include "platform/win32/win32_api.h"

namespace velk2 {

// The picture scaled to fit `width` x `height` with its aspect ratio kept, as
// a 32-bit top-down DIB; null when the file is no picture. Width or height 0:
// the picture's own size.
OwnedBitmap load_picture_bitmap(const std::string& path, int width = 0, int height = 0);

// A blank 32-bit top-down DIB section; `bits` receives its pixels.
OwnedBitmap make_dib(int width, int height, void** bits);

// Writes a 32-bit DIB section as a PNG file; false when that failed.
bool save_bitmap_png(HBITMAP bitmap, const std::string& path);

} // namespace velk2
