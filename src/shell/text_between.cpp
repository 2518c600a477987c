#include "shell/text_between.h"

namespace velk2 {

std::string text_between(const std::string& text, const std::string& left,
                         const std::string& right) {
    std::size_t start = 0;
    if (!left.empty()) {
        const std::size_t found = text.find(left);
        if (found == std::string::npos) return {};
        start = found + left.size();
    }
    if (right.empty()) return text.substr(start);
    const std::size_t end = text.find(right, start);
    if (end == std::string::npos) return {};
    return text.substr(start, end - start);
}

} // namespace velk2
