// Windows error codes as the program reports them: the system's own text,
// and an std::error_code whose message() is that text and which compares
// equal to the portable conditions (std::errc::permission_denied, ...).
#pragma once

#ifdef _WIN32

#include <string>
#include <system_error>

namespace velk2 {

// FormatMessage's text without its line end and final period; "error N"
// when the system has none.
std::string win32_error_text(unsigned long code);

std::error_code win32_error(unsigned long code);
// The error of the calling thread's last failed call.
std::error_code last_win32_error();

} // namespace velk2

#endif
