// The per-user settings of application "VELK2". Keys of section "LAST":
// "PORT", "ALL", "UPFILE", "DSP", "BIN", "JPG", "DOWN"; section "DIR": "DIR".
#pragma once

#include <string>

#include "session/context.h"

namespace velk2 {

// Absent keys read as "".
std::string read_setting(Context& ctx, const std::string& section, const std::string& key);
void store_setting(Context& ctx, const std::string& section, const std::string& key,
                   const std::string& value);

} // namespace velk2
