// The bytes an upload of a file sends, read and prepared once: a DSP (or BIN)
// file as it is, a JPG picture wrapped into the welcome-screen image with
// its header. The main window and the station both prepare their file here.
#pragma once

#include <optional>
#include <string>

namespace velk2 {

struct UploadBytes {
    std::optional<std::string> data; // none when the file is refused
    std::string problem;             // why it is refused
};

// Reads and prepares the file at `path`, its type taken from its name.
// Refused: something that is no regular file, a file that cannot be read, an
// empty one, one too big for the welcome screen (JPG) or for one upload, and
// a name that leaves no room in the first block. Only reads the file.
UploadBytes upload_bytes(const std::string& path);

} // namespace velk2
