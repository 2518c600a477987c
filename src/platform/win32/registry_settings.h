// The per-user settings store on Windows: the registry key
// HKEY_CURRENT_USER\Software\VELK2\<section>, one REG_SZ value per key, the
// text as it is (UTF-8 inside, UTF-16 in the registry). A value of any other
// registry type reads as empty, as an absent one does.
#pragma once

#include <string>

namespace velk2 {

std::string read_registry_setting(const std::string& section, const std::string& key);

// False when the value was not written.
bool store_registry_setting(const std::string& section, const std::string& key,
                            const std::string& value);

} // namespace velk2
