// Writing a downloaded file so that a failure never leaves a truncated file
// behind: the bytes go to a fresh file in the target's folder, which then
// replaces the target in one rename.
#pragma once

#include <string>
#include <string_view>
#include <system_error>

namespace velk2 {

// Creates or replaces `path` with exactly `bytes`. On failure the earlier
// file (if any) is left as it was, no temporary file remains, and the cause is
// returned.
std::error_code save_file_atomically(const std::string& path, std::string_view bytes);

} // namespace velk2
