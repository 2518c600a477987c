// The texts the station shows for its rows, prints without a window, and
// sums up at the end.
#pragma once

#include <string>

#include "station/station_model.h"

namespace velk2 {

// How far the current attempt is, else where the last one ended (done:
// 100), else 0; from 0 to 100.
int row_percent(const StationRow& row);

// "not started", "waiting for a box", "flashing 45 %", "done",
// "failed: <reason>", "remove the box", "stopped".
std::string row_state_text(const StationRow& row);
// Bytes and speed: of the attempt flashing now ("1024000 / 2093056 bytes,
// 169550 bytes/s"), else of the last one ("last: done, 2093056 / 2093056
// bytes, 12.3 s, 169550 bytes/s"), else "".
std::string row_detail_text(const StationRow& row);
// "done 3, failed 1", with ", stopped 2" when an attempt was stopped.
std::string row_counts_text(const StationRow& row);

// The line printed for a row that changed: the port and its state, and for
// an attempt's result its seconds and speed ("COM3 done (12.3 s, 169550
// bytes/s)").
std::string row_event_line(const StationRow& row, const WorkerResult* result);

// "worker ended (exit status 3)" or "worker ended (signal 9)", and the last
// line of its standard error after ": ".
std::string worker_exit_text(const WorkerExit& exit);

// The summary of a run, one line each: the attempts, then each port.
std::string station_summary(const StationState& state);

} // namespace velk2
