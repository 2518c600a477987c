// Downloads from the paced sender simulator, one velk2-download-bench
// process per case.
#pragma once

#include <cstddef>
#include <string>

#include "case_support.h"
#include "figures.h"

namespace bench {

struct DownloadCase {
    std::string name;
    std::size_t payload = 0;
    int baud = 0;       // the box's rate; the receiver alternates until it answers
    int adapter_ms = 0; // a USB adapter's latency timer between box and PC; 0: a bare line
};

Figures run_download(const Tools& tools, const std::string& work, const DownloadCase& c,
                     long baseline_kib);

} // namespace bench
