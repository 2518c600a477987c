// Uploads to the paced bootloader simulator through the loader's automatic
// command-line upload, one loader process per port as the per-port copies
// are used.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "case_support.h"
#include "figures.h"

namespace bench {

struct UploadCase {
    std::string name;
    std::size_t payload = 0;
    int baud = 0;  // the box's rate; the loader finds it (230400, or 115200 after the fall-back)
    int ports = 1; // loaders and boxes running at once, COM1..COMn
    int adapter_ms = 0; // a USB adapter's latency timer between box and PC; 0: a bare line
};

// One figure line per port. `baseline_kib` is the peak memory of a loader
// that uploaded a tiny file (0: growth not computed).
std::vector<Figures> run_upload(const Tools& tools, const std::string& work, const UploadCase& c,
                                long baseline_kib);

} // namespace bench
