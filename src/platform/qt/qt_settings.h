// The per-user settings store: QSettings in INI format, user scope,
// organisation "VELK2", so the file $XDG_CONFIG_HOME/VELK2.ini (default
// ~/.config/VELK2.ini) with one group per section ([LAST], [DIR]).
//
// Several copies of the program (one per port) may run side by side, so every
// read first picks up what another copy wrote, and every store is written
// through at once.
#pragma once

#include <string>

namespace velk2 {

// An absent key reads as "".
std::string read_ini_setting(const std::string& section, const std::string& key);

// False when the file could not be written.
bool store_ini_setting(const std::string& section, const std::string& key,
                       const std::string& value);

} // namespace velk2
