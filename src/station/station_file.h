// The firmware file of the station: read and prepared once for all ports,
// exactly as the main window prepares an upload file (a DSP file as it is, a
// JPG picture wrapped), with its size and hash. The workers get these bytes;
// a file changed on disk afterwards changes nothing.
#pragma once

#include <string>

#include "station/station_model.h"

namespace velk2 {

struct StationFile {
    PreparedFile file; // path, size and hash, or why it is refused
    std::string bytes; // what each worker receives; empty when refused
};

// DSP and JPG files only. `chosen_in_dialog`: the dialog's limit for a
// picture holds as well, as in the main window's JPG dialog.
StationFile prepare_station_file(const std::string& path, bool chosen_in_dialog = false);

} // namespace velk2
