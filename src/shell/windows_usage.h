// What `velk2.exe --help` prints: the program's command line in a Windows
// technician's terms (quoted arguments, per-port copies, COM ports).
#pragma once

#include <string>

namespace velk2 {

std::string windows_usage_text();

} // namespace velk2
