#include "upload/fs_image.h"

#include <cstdint>

namespace velk2 {

namespace {

constexpr std::size_t head_size = 0x70;
constexpr std::size_t min_fill = 256;
constexpr std::size_t wrap_header_size = 64;

void put_le32(std::string& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>(value >> shift));
}

// Name field (16 bytes), picture size, picture offset, 8 zero bytes.
void put_entry(std::string& out, const char (&name)[13], std::uint32_t size) {
    out.append(name, 12);
    out.append(4, '\0');
    put_le32(out, size);
    put_le32(out, static_cast<std::uint32_t>(head_size));
    out.append(8, '\0');
}

} // namespace

std::size_t fs_image_total(std::size_t jpg_length) {
    std::size_t units = (head_size + jpg_length + min_fill) / 512 + 1;
    if (units % 2 == 0) ++units;
    return units * 512;
}

std::string fs_image(const std::string& jpg) {
    const std::size_t total = fs_image_total(jpg.size());
    const auto size = static_cast<std::uint32_t>(jpg.size());

    std::string image;
    image.reserve(total - wrap_header_size);
    image.append("FILE SYSTEM 2001");
    image.push_back(static_cast<char>(total & 0xFF));
    image.push_back(static_cast<char>((total >> 8) & 0xFF));
    image.append(14, '\0');
    put_entry(image, "x_radio1.jpg", size);
    put_entry(image, "mlogo25k.jpg", size);
    image.append(16, '\0');
    image.append(jpg);
    image.append(total - wrap_header_size - image.size(), ' ');
    return image;
}

} // namespace velk2
