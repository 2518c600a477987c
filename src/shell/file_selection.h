// Choosing the upload file (DSP, JPG, and BIN in service builds), loading it
// into `upload_data`, and wrapping a JPG picture into the welcome-screen image
// "rom.dsp".
#pragma once

#include <string>

#include "shell/context.h"

namespace velk2 {

void cm2_Click(Context& ctx);   // "*.DSP File select"
void cm3_Click(Context& ctx);   // "*.JPG File select   (Welcome screen)"
void cmbin_Click(Context& ctx); // "*.BIN File service"

// The file dialog with the start folder and default name taken from `start`
// (a stored full path); stores the choice under "LAST"/type. "" when nothing
// usable was chosen.
std::string select_file(Context& ctx, const std::string& title, const std::string& start,
                        const std::string& type, bool save = false);

// Prepares `upload_file`'s data and enables the upload button of its type, or
// falls back to the stored "ALL" file when nothing exists at that path. A file
// that cannot be read or uploaded is refused with a message: no data, no
// stored "ALL", its buttons disabled.
void apply_selected_file(Context& ctx);
// Loads and prepares `upload_file` into `upload_data`; false when refused.
bool prepare_upload_file(Context& ctx);

// Upper-cased last three characters of a file name: "DSP", "BIN", "JPG"...
std::string file_type(const std::string& name);
bool file_exists(const std::string& path);   // a regular file
bool path_exists(const std::string& path);   // anything at all
bool readable_file(const std::string& path); // a regular file that opens for reading

// The largest picture the JPG dialog accepts.
constexpr long long jpg_dialog_limit = 60000;

} // namespace velk2
