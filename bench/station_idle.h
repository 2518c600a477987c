// The station while every port waits for a box that does not come: what
// the station process and its workers cost the machine when nothing happens.
#pragma once

#include <optional>
#include <string>

#include "case_support.h"
#include "process_stats.h"

namespace bench {

struct StationIdle {
    bool ok = false;
    std::string problem;
    int ports = 0;
    double armed_s = 0;     // station start until every port said it was waiting
    double measured_s = 0;  // the span the CPU shares are taken over
    double station_cpu = 0; // the station's own user + system / span (share of one core)
    double workers_cpu = 0; // all workers' user + system / span (share of one core)
    int workers = 0;        // workers seen at both ends of the span
    ProcessMemory station_memory;
    ProcessMemory worker_memory; // the largest worker (by PSS, else RSS)
    double stop_s = 0;           // SIGTERM to the station's exit
    int exit_status = 0;         // -1 when a signal ended it
};

// `ports` boxes that appear only after an hour; the station armed on all of
// them; after every port waits and `settle_s` more, `seconds` measured.
StationIdle run_station_idle(const Tools& tools, const std::string& work, int ports, double seconds,
                             double settle_s);

} // namespace bench
