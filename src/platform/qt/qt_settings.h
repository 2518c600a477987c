// The per-user settings store: the file $XDG_CONFIG_HOME/VELK2.ini (default
// ~/.config/VELK2.ini) with one group per section ([LAST], [DIR]) and one
// KEY=value line per key. Values are byte texts kept exactly as they are; the
// file layout is described in qt_settings.cpp. QSettings does the locking and
// the atomic rewrite.
//
// Several copies of the program (one per port) may run side by side, so every
// read first picks up what another copy wrote, and every store is written
// through at once.
#pragma once

#include <string>

namespace velk2 {

std::string settings_file_path();

// Why the settings file cannot be used, as one diagnostic line; "" when it
// can (an absent file can: the first store creates it). Something at its
// path that is not a regular file is never opened: a FIFO would hold the
// program on its first read, and a rewrite would replace it.
std::string settings_file_problem();

// An absent key, and any key of a file that cannot be used, reads as "".
std::string read_ini_setting(const std::string& section, const std::string& key);

// False when the value was not written.
bool store_ini_setting(const std::string& section, const std::string& key,
                       const std::string& value);

} // namespace velk2
