// A file that one call creates, fills and puts on the device: the step a safe
// save needs from the OS.
#pragma once

#include <string>
#include <string_view>
#include <system_error>

namespace velk2 {

// Creates `path` only when nothing has that name yet (then the result is
// std::errc::file_exists and nothing is touched), writes `bytes`, flushes them
// to the device and closes. `created` tells whether the file now exists
// through this call, also when a later step failed.
std::error_code write_new_file(const std::string& path, std::string_view bytes, bool& created);

} // namespace velk2
