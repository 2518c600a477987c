// Writing a downloaded file so that a failure never leaves a truncated file
// behind, and a program that dies in the middle leaves nothing of ours: where
// the OS can, the bytes go to a file without a name in the target's folder,
// named when complete; elsewhere to a companion file in that folder, which
// then replaces the target in one rename.
#pragma once

#include <string>
#include <string_view>
#include <system_error>

#include "platform/new_file.h"

namespace velk2 {

struct SaveOptions {
    // False: as on a file system that cannot make files without a name.
    bool unnamed_file = true;
    // After each piece written (the tests stop a save there).
    WriteProgress progress;
};

// The companion file of `path` with number `n`: "NAME.velk2-partN". Only a
// name of this pattern is ever taken for one of ours.
std::string companion_name(const std::string& path, int n);

// A companion left behind longer ago than this was left by a save that died;
// a younger one may belong to another copy of the program saving right now.
constexpr int stale_companion_minutes = 10;

// Creates or replaces `path` with exactly `bytes`. On failure the earlier
// file (if any) is left as it was, no file of ours remains, and the cause is
// returned. Stale companions in the folder go first.
std::error_code save_file_atomically(const std::string& path, std::string_view bytes,
                                     const SaveOptions& options = {});

} // namespace velk2
