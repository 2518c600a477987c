// Choosing the upload file (DSP, JPG, and BIN in service builds), loading it
// into `upload_data`, and wrapping a JPG picture into the welcome-screen image
// "rom.dsp".
#pragma once

#include <string>

#include "session/context.h"
#include "session/files.h"

namespace velk2 {

void cm2_Click(Context& ctx);   // "*.DSP File select"
void cm3_Click(Context& ctx);   // "*.JPG File select   (Welcome screen)"
void cmbin_Click(Context& ctx); // "*.BIN File service"

// Prepares `upload_file`'s data and enables the upload button of its type, or
// falls back to the stored "ALL" file when nothing exists at that path. A file
// that cannot be read or uploaded is refused with a message: no data, no
// stored "ALL", its buttons disabled.
void apply_selected_file(Context& ctx);
// The file that the command line named for an automatic start: prepared as
// apply_selected_file prepares an existing file, and refused with a message
// naming its path when it cannot be used (missing, a loop of links,
// unreadable, empty...), never replaced by the stored "ALL" file, since a
// file nobody named must not become ready to flash. False when nothing is
// ready.
bool apply_named_file(Context& ctx);
// Loads and prepares `upload_file` into `upload_data`; false when refused
// (an empty DSP, JPG or BIN file included).
bool prepare_upload_file(Context& ctx);

} // namespace velk2
