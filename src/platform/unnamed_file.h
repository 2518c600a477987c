// A file written without a name and named only when it is complete, so that
// nothing of it stays behind when the program dies in the middle (SIGKILL, a
// power cut before the name is given): the OS drops a file without a name.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/new_file.h"

namespace velk2 {

// Writes `bytes` into a file without a name in the folder of `path`, flushes
// it to the device and gives it the name `path`. An existing `path` is
// replaced in one rename: the complete file first gets the first free name of
// `companion`(0 ... companion_count - 1) in the same folder (a taken name is
// never touched). On failure nothing of the new file remains and the cause is
// returned; std::errc::operation_not_supported where the OS or the folder's
// file system cannot make files without a name (nothing was made then: the
// caller takes another way). Linux only; elsewhere always not supported.
std::error_code save_through_unnamed_file(const std::string& path, std::string_view bytes,
                                          const std::function<std::string(int)>& companion,
                                          int companion_count, const WriteProgress& progress = {});

} // namespace velk2
