// A write beyond the process's file-size limit (ulimit -f) fails with EFBIG,
// as a full disk fails with ENOSPC, instead of ending the program with
// SIGXFSZ in the middle of a save: the save can then clean up, say why and
// hand the line back.
#pragma once

namespace velk2 {

// Ignores SIGXFSZ for the rest of the process. Nothing to do where the OS has
// no such signal.
void ignore_file_size_signal();

} // namespace velk2
