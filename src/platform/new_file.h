// A file that one call creates, fills and puts on the device: the step a safe
// save needs from the OS.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>

namespace velk2 {

// Told the bytes written so far after each piece of a file has gone out (the
// tests stop a save there).
using WriteProgress = std::function<void(std::size_t written)>;

// The pieces a file is written in, so that a large file reports its progress.
constexpr std::size_t write_piece_size = 64 * 1024;

// Creates `path` only when nothing has that name yet (then the result is
// std::errc::file_exists and nothing is touched), writes `bytes`, flushes them
// to the device and closes. `created` tells whether the file now exists
// through this call, also when a later step failed.
std::error_code write_new_file(const std::string& path, std::string_view bytes, bool& created,
                               const WriteProgress& progress = {});

#ifndef _WIN32
// Writes `bytes` to the open descriptor in pieces and flushes them to the
// device; the descriptor stays open.
std::error_code write_and_flush(int fd, std::string_view bytes, const WriteProgress& progress);
#endif

} // namespace velk2
