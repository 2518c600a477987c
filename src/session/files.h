// The files the user names: their type by the last three letters, whether
// they exist, and the file dialog that chooses them (for the load buttons and
// for the download's save).
#pragma once

#include <string>

#include "session/context.h"

namespace velk2 {

// The folder separator of the build platform's paths. Windows takes '/' as
// well, so a name there ends after the last of either.
#ifdef _WIN32
constexpr char folder_separator = '\\';
#else
constexpr char folder_separator = '/';
#endif
// Position of the last folder separator in `path`; npos when there is none.
std::size_t last_separator(const std::string& path);
// A full path as the user names one: "X:\..." on Windows, "/..." on POSIX.
bool is_full_path(const std::string& path);

// Upper-cased last three characters of a file name: "DSP", "BIN", "JPG"...
std::string file_type(const std::string& name);
bool file_exists(const std::string& path);   // a regular file
bool path_exists(const std::string& path);   // anything at all
bool readable_file(const std::string& path); // a regular file that opens for reading

// The largest picture the JPG dialog accepts.
constexpr long long jpg_dialog_limit = 60000;
// Why the JPG dialog does not take the picture at `path`, or "" when it does.
std::string jpg_refusal(const std::string& path);

// The file dialog with the start folder and default name taken from `start`
// (a stored full path); stores the choice under "LAST"/type. "" when nothing
// usable was chosen. `save` accepts a name that does not exist yet and stores
// nothing: the caller remembers the name once the file is written.
std::string select_file(Context& ctx, const std::string& title, const std::string& start,
                        const std::string& type, bool save = false);

} // namespace velk2
