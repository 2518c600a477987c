#include "upload/jpg_wrap.h"

#include "upload/fs_image.h"

#include <cstdint>

namespace velk2 {

std::string jpg_header(std::size_t image_length) {
    static constexpr char fixed_tail[] = "\x80\0\0\0\0\0\x09\0";
    std::string header;
    header.reserve(jpg_header_size);
    header.append(16, ':');
    header.append("DIVAREVO20060410");
    header.append(4, '\xFF');
    header.append(4, '\0');
    header.append(8, ' ');
    header.append(4, '\0');
    header.append(fixed_tail, 8);
    const auto units = static_cast<std::uint32_t>(image_length / 2);
    for (int shift = 0; shift < 32; shift += 8) header.push_back(static_cast<char>(units >> shift));
    return header;
}

std::string wrap_jpg(const std::string& jpg) {
    std::string image = fs_image(jpg);
    return jpg_header(image.size()) + image;
}

} // namespace velk2
