// The report of a program path that the self-copy cannot use.
#pragma once

#include <optional>
#include <string>

#include "session/context.h"

namespace velk2 {

extern const char* const support_address;

// The plain path of the running program file, or nullopt after the user was
// shown the path and the window was closed (the program then ends).
std::optional<std::string> app_filename3(Context& ctx, const std::string& path);

} // namespace velk2
