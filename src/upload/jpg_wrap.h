// The wrapped JPG payload ("rom.dsp"): a 64-byte header that names the image
// and gives its length in 16-bit units, followed by the file-system image.
#pragma once

#include <cstddef>
#include <string>

namespace velk2 {

constexpr std::size_t jpg_header_size = 64;

// The 64-byte header for a file-system image of `image_length` bytes.
std::string jpg_header(std::size_t image_length);

// Header + fs_image(jpg). Callers refuse JPGs above fs_image_max_jpg first.
std::string wrap_jpg(const std::string& jpg);

} // namespace velk2
