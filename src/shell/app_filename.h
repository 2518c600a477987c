// The plain path of the running program that the self-copy reads. A path that
// cannot be turned into one (a network share, a relative path) is reported to
// the user and ends the program; that report is the caller's.
#pragma once

#include <optional>
#include <string>

namespace velk2 {

// Drive-letter form: a path with ":\" at its second character is returned as
// it is; one with a prefix before the drive letter (a quote, "\\?\") is cut to
// start at the drive letter and to end three characters after its last dot.
// nullopt when there is no drive letter (no ":\", or ":\" at the very start).
std::optional<std::string> app_filename3_text(const std::string& path);

// POSIX form: an absolute path is returned as it is; anything else is nullopt.
std::optional<std::string> app_filename3_posix(const std::string& path);

} // namespace velk2
