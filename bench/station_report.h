// The station cases' figures as text: each case's own lines while the run
// goes on, and one summary table at the end with the targets.
#pragma once

#include <optional>
#include <string>

#include "station_flash.h"
#include "station_idle.h"

namespace bench {

// How busy the machine was during a case (everybody's work).
struct MachineLoad {
    std::optional<double> busy;  // all cores' busy share
    std::optional<double> io_ms; // some task waited for the disk this long
    std::string load_averages;   // at the case's end
};

// The station's own CPU while every port waits, share of one core.
inline constexpr double idle_station_cpu_target = 0.02;
// The median turn-around after each ACK over every port, ms.
inline constexpr double turnaround_median_target_ms = 3.6;

void print_idle(const StationIdle& idle, const MachineLoad& load);
void print_flash(const StationFlash& flash, const MachineLoad& load);

// The summary table of what ran (null: not run); returns the exit status:
// 0, 3 when a target was missed, 1 when a case failed.
int print_station_summary(const StationIdle* idle, const MachineLoad& idle_load,
                          const StationFlash* flash, const MachineLoad& flash_load);

} // namespace bench
