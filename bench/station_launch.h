// The station under the bench: one simulated box per port on a new
// pseudo-terminal, and `velk2 --station --no-window` on the boxes' devices,
// with its settings, flash log and home inside the case folder.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "case_support.h"
#include "child_process.h"

namespace bench {

struct StationRig {
    std::string dir;        // the case folder
    std::vector<Box> boxes; // boxes[i] serves the station's i-th port
    std::optional<Child> station;
    std::string output; // what the station printed so far
};

// `ports` boxes, each `velk2-boxsim` with `box_args` and `--out DIR/boxN`;
// "" when all started, else why not.
std::string start_boxes(const Tools& tools, StationRig& rig, int ports,
                        const std::vector<std::string>& box_args);

// The station on every box's device, flashing `file`, ending after `count`
// attempts when given. Every VELK2_COMn names a device that does not exist,
// so no name can lead to a serial port of the machine. "" or why not.
std::string start_station(const Tools& tools, StationRig& rig, const std::string& file,
                          std::optional<int> count);

// Takes what the station printed since the last call into rig.output.
void read_station_output(StationRig& rig);

// Lines of rig.output that end with `text`.
std::size_t lines_ending_with(const StationRig& rig, const std::string& text);

// Where the station of `rig` keeps its flash log.
std::string flash_log_of(const StationRig& rig);

} // namespace bench
