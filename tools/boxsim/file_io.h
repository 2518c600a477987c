// Whole-file reads and writes; errors as return values.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace boxsim {

std::optional<std::string> read_whole_file(const std::string& path);
// Creates or replaces the file; false when any step failed.
bool write_whole_file(const std::string& path, std::string_view bytes);

} // namespace boxsim
