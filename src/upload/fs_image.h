// The "FILE SYSTEM 2001" image in which the box expects its welcome picture:
// a 112-byte head with two directory entries ("x_radio1.jpg" and
// "mlogo25k.jpg", both pointing at the same bytes), the JPG, and a blank fill.
// The fill makes the image 64 bytes short of an odd multiple of 512, so that
// with the 64-byte "rom.dsp" header in front the whole is an odd multiple of
// 512; that total T is stored in a 16-bit field of the head.
#pragma once

#include <cstddef>
#include <string>

namespace velk2 {

// The largest JPG whose total T still fits the 16-bit field (T = 65024).
// Callers refuse anything larger before building an image.
constexpr std::size_t fs_image_max_jpg = 64655;

// Total length T (with the 64-byte header) of the image for a JPG of
// `jpg_length` bytes: the smallest odd multiple of 512 above 0x70 + L + 256.
std::size_t fs_image_total(std::size_t jpg_length);

// The image for the JPG bytes; T - 64 bytes long. For a JPG above
// fs_image_max_jpg the 16-bit field holds the low 16 bits of T.
std::string fs_image(const std::string& jpg);

} // namespace velk2
