#include "shell/app_filename.h"

namespace velk2 {

std::optional<std::string> app_filename3_text(const std::string& path) {
    const std::size_t colon = path.find(":\\");
    if (colon == std::string::npos || colon == 0) return std::nullopt;
    if (colon == 1) return path;

    // Drop the prefix up to the drive letter, and whatever trails the
    // three-character extension (such as a closing quote).
    std::string text = path.substr(colon - 1);
    const std::size_t dot = text.rfind('.');
    if (dot != std::string::npos && dot > 0) text = text.substr(0, dot + 4);
    return text;
}

std::optional<std::string> app_filename3_posix(const std::string& path) {
    if (!path.empty() && path.front() == '/') return path;
    return std::nullopt;
}

} // namespace velk2
