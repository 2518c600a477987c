// The station flashing every port at once: boxes that are all there when it
// starts, each paced at the line rate, and `--count` of them in all.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "case_support.h"

namespace bench {

struct PortFlash {
    std::string device;
    std::string result;                 // the flash log's result for this port
    double seconds = 0;                 // the worker's attempt, as logged
    double ratio = 0;                   // payload / attempt seconds against the protocol limit
    std::optional<double> blocks_ratio; // the data blocks alone, on the box's clock
    std::vector<double> turnaround_ms;  // as the box timed them
    bool delivered = false;             // the box holds the file byte-identical
};

struct StationFlash {
    bool ok = false;
    std::string problem;
    int ports = 0;
    std::size_t payload = 0;
    int baud = 0;
    double wall_s = 0;        // station start to its exit
    double last_done_s = 0;   // station start to its last "done" line
    int exit_status = 0;      // -1 when a signal ended it
    double station_cpu = 0;   // the station's own user + system / wall
    double workers_cpu_s = 0; // all workers' user + system in all
    long station_peak_kib = 0;
    long worker_peak_kib = 0; // the largest worker's peak RSS
    std::vector<PortFlash> port_flashes;
};

StationFlash run_station_flash(const Tools& tools, const std::string& work, int ports,
                               std::size_t payload, int baud);

} // namespace bench
