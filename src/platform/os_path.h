// File names at the OS boundary. Inside the program a path is a byte text:
// UTF-8 on Windows, the bytes as they are on POSIX. Windows takes file names
// in UTF-16, so every path that reaches std::filesystem or a file stream goes
// through os_path(), and every name that comes back through path_text().
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

namespace velk2 {

std::filesystem::path os_path(const std::string& path);
std::string path_text(const std::filesystem::path& path);

// std::fopen for a path of the program.
std::FILE* open_file(const std::string& path, const char* mode);

#ifdef _WIN32
// The one conversion pair between the program's UTF-8 and the wide APIs.
// Bytes that are no UTF-8 become U+FFFD.
std::wstring widen(const std::string& utf8);
std::string narrow(const std::wstring& wide);
#endif

} // namespace velk2
