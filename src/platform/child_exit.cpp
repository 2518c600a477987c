// How a child's end reads in a message.
#include <cstdio>

#include "platform/child_process.h"

namespace velk2 {

std::string child_exit_text(const ChildExit& exit) {
    if (!exit.signalled) return "exit status " + std::to_string(exit.code);
#ifdef _WIN32
    char text[32];
    std::snprintf(text, sizeof text, "exception 0x%08X", static_cast<unsigned>(exit.code));
    return text;
#else
    return "signal " + std::to_string(exit.code);
#endif
}

} // namespace velk2
