// The station's rules as one function: an event in, the state changed, the
// actions out. The supervisor (window or --no-window) carries the actions out
// in their order and feeds what happens back as events; it decides nothing.
//
// The record comes first: a result line makes the step ask for the record
// line to be appended (AppendRecord), and the row shows the result only when
// RecordWritten comes back. The supervisor appends synchronously and feeds
// RecordWritten before its next event; lines and the end of that row's
// worker that arrive meanwhile are held and applied after it.
#pragma once

#include <cstdint>
#include <string>
#include <system_error>
#include <variant>
#include <vector>

#include "station/flash_record.h"
#include "station/station_model.h"

namespace velk2 {

// Events.
struct StartPressed {};
struct StopPressed {}; // also SIGINT and SIGTERM in --no-window
struct WorkerLineRead {
    int row;
    std::string line; // one line of the worker's standard output
};
struct WorkerEnded {
    int row;
    WorkerExit exit;
};
struct ClockTick {};
struct RecordWritten {
    int row;               // the row of the record; -1 for the log's check at Start
    std::error_code error; // {} when the line is stored
};
using StationEvent =
    std::variant<StartPressed, StopPressed, WorkerLineRead, WorkerEnded, ClockTick, RecordWritten>;

// When the event happens: the monotonic clock, and the local wall clock for
// the record.
struct StationNow {
    std::int64_t ms = 0;
    LocalTime local;
};

// Actions.
struct StartWorker {
    int row;
    std::vector<std::string> arguments; // after the program's path
    int quiet_first_s;
};
struct CloseWorkerInput { // the worker's stop request
    int row;
};
struct KillWorker { // it did not end within the grace time after its input closed
    int row;
};
struct AppendRecord { // carry out with AppendLine, then feed RecordWritten{row, error}
    int row;
    std::string path;
    std::string header;
    std::string line; // "" at Start: the log's check
};
struct ShowMessage { // a station-wide message (standard error without a window)
    std::string text;
};
struct PrintEvent { // one line per row event (standard output without a window)
    std::string text;
};
struct Finished { // every worker has ended; the run's exit status
    int exit_status;
};
using StationAction = std::variant<StartWorker, CloseWorkerInput, KillWorker, AppendRecord,
                                   ShowMessage, PrintEvent, Finished>;

std::vector<StationAction> station_step(StationState& state, const StationEvent& event,
                                        const StationNow& now);

// The worker's arguments for a port of the station.
std::vector<std::string> worker_arguments(const std::string& port, const PreparedFile& file,
                                          int quiet_first_s, int quiet_s);

} // namespace velk2
