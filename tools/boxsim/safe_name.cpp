#include "safe_name.h"

namespace boxsim {

std::string safe_name(std::string_view raw) {
    const std::size_t sep = raw.find_last_of("/\\");
    const std::string_view last = sep == std::string_view::npos ? raw : raw.substr(sep + 1);
    std::string name;
    for (const char ch : last) {
        const auto byte = static_cast<unsigned char>(ch);
        const bool unsafe = byte < 0x20 || byte > 0x7E || ch == ':' || ch == '*' || ch == '?' ||
                            ch == '"' || ch == '<' || ch == '>' || ch == '|';
        name += unsafe ? '_' : ch;
    }
    const bool only_dots = name.find_first_not_of('.') == std::string::npos;
    if (only_dots) return "received.bin";
    if (name[0] == '.' || name[0] == '-' || name[0] == ' ') name = "_" + name;
    return name;
}

} // namespace boxsim
