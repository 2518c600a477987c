// The station window's sample state for the front ends' tests: four ports,
// waiting, flashing 45 %, done and failed.
#pragma once

#include <string>

#include "station/station_window.h"

namespace velk2::test {

// `device` is the devices' common start (the port's number follows it),
// `folder` the firmware's and the log's.
inline StationState four_port_station(const std::string& device, const std::string& folder) {
    std::vector<StationPort> ports;
    for (int n = 1; n <= 4; ++n)
        ports.push_back({"COM" + std::to_string(n), device + std::to_string(n)});
    StationState s = make_station_state(ports);
    s.file = {folder + "R3e558zu.dsp", 2000, std::string(64, 'c'), ""};
    s.log_path = folder + "flash-log.csv";
    s.phase = StationPhase::running;
    s.rows[0].state = RowState::waiting;
    StationRow& flashing = s.rows[1];
    flashing.state = RowState::flashing;
    flashing.in_attempt = true;
    flashing.bytes = 900;
    flashing.total = 2000;
    flashing.bytes_per_s = 22000;
    StationRow& done = s.rows[2];
    done.state = RowState::done;
    done.bytes = done.total = 2000;
    done.last_result = WorkerResult{FlashOutcome::done, 1000, 2000, ""};
    done.done = 1;
    StationRow& failed = s.rows[3];
    failed.state = RowState::failed;
    failed.reason = "box silent";
    failed.bytes = 500;
    failed.total = 2000;
    failed.last_result = WorkerResult{FlashOutcome::failed, 1000, 500, "box silent"};
    failed.failed = 1;
    return s;
}

} // namespace velk2::test
