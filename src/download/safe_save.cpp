#include "download/safe_save.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace velk2 {

namespace {

namespace fs = std::filesystem;

// A companion name in the same folder, so that the rename never crosses a
// file system. "x" makes the open fail when the name is taken.
std::FILE* create_companion(const std::string& path, std::string& companion) {
    for (int n = 0; n < 100; ++n) {
        companion = path + ".part" + std::to_string(n);
        if (std::FILE* f = std::fopen(companion.c_str(), "wbx")) return f;
        if (errno != EEXIST) return nullptr;
    }
    errno = EEXIST;
    return nullptr;
}

std::error_code last_error() {
    return std::error_code(errno ? errno : EIO, std::generic_category());
}

// Writes, flushes to the device and closes; the first failure wins.
std::error_code write_and_close(std::FILE* f, std::string_view bytes) {
    std::error_code ec;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size())
        ec = last_error();
    if (!ec && std::fflush(f) != 0) ec = last_error();
#ifndef _WIN32
    if (!ec && ::fsync(::fileno(f)) != 0) ec = last_error();
#endif
    if (std::fclose(f) != 0 && !ec) ec = last_error();
    return ec;
}

} // namespace

std::error_code save_file_atomically(const std::string& path, std::string_view bytes) {
    std::string companion;
    errno = 0;
    std::FILE* f = create_companion(path, companion);
    if (!f) return last_error();

    std::error_code ec = write_and_close(f, bytes);
    if (!ec) fs::rename(companion, path, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(companion, ignored);
    }
    return ec;
}

} // namespace velk2
