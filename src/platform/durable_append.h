// A line added to a log that must survive a crash or a power cut right after
// the call: the record of what was done to a box.
#pragma once

#include <string>
#include <system_error>

namespace velk2 {

// Appends `line` to the file at `path` and puts it on the disk before it
// returns (fsync, FlushFileBuffers); creates the file and the folders above
// it when they do not exist. A file that is new or empty gets `header`
// first. An empty `line` only makes sure the file can be written (created,
// its header on the disk). Nothing already in the file is ever changed: a
// file whose last line was cut (a full disk, a crash in the middle of a
// write) gets a line end before the new line, so each line stays whole.
// {} when the line is on the disk, else the OS's reason (a folder where the
// file should be, no permission, a full disk, ...).
std::error_code append_durably(const std::string& path, const std::string& header,
                               const std::string& line);

} // namespace velk2
