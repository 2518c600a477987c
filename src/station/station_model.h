// The station's state as a plain value: the prepared file, the flash log,
// and one row per port with its worker. station_step (station_step.h)
// changes it; the window and the --no-window printer only read it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "station/station_ports.h"
#include "station/worker_lines.h"

namespace velk2 {

// The firmware file, prepared once for all ports.
struct PreparedFile {
    std::string path;      // as chosen; "" before a choice
    std::int64_t size = 0; // prepared bytes (a JPG wrapped)
    std::string sha256;    // of the prepared bytes
    std::string refused;   // why it cannot be flashed; "" when it can
    bool usable() const { return !path.empty() && refused.empty(); }
};

enum class RowState { not_started, waiting, flashing, done, failed, remove_box, stopped };

// How a worker process ended: an exit status, or the signal (on Windows the
// crash code) that ended it, and the last lines it wrote to standard error.
struct WorkerExit {
    bool signalled = false;
    int code = 0;
    std::string stderr_tail;
};

// What the row's current worker has done, for the rules of its end.
struct WorkerSlot {
    bool running = false;
    std::int64_t started_ms = 0;
    bool input_closed = false; // asked to end
    std::int64_t closed_ms = 0;
    bool killed = false;
    bool armed = false;       // said waiting, quiet or flashing: its port opened
    bool said_result = false; // its attempt ended with a result line
    bool said_error = false;  // it could not start, or received other data
};

struct StationRow {
    std::string port;   // "COM3"
    std::string device; // what it opens; the worker's `waiting` line corrects it
    RowState state = RowState::not_started;
    std::string reason; // of `failed`

    // The current attempt (from `flashing` to its record), else the last one.
    bool in_attempt = false;
    std::string attempt_start; // ISO 8601
    std::int64_t attempt_start_ms = 0;
    std::int64_t bytes = 0, total = 0, bytes_per_s = 0;
    std::optional<WorkerResult> last_result;

    int done = 0, failed = 0, stopped = 0; // attempts on this port

    WorkerSlot worker;
    std::optional<std::int64_t> next_start_ms; // a worker to start then
    int next_quiet_first_s = 0;

    // A result whose record line is being written, and what the worker said
    // in the meantime: the row shows nothing newer until the record is stored.
    std::optional<WorkerResult> recording;
    std::vector<std::string> held_lines;
    std::optional<WorkerExit> held_exit;
};

// Times of the supervision, in milliseconds.
struct StationTimes {
    std::int64_t stop_grace_ms = 5000;  // from closing a worker's input to killing it
    std::int64_t retry_ms = 5000;       // after a worker that could not start
    std::int64_t min_restart_ms = 1000; // between two workers of one port
};

enum class StationPhase {
    idle,        // nothing armed
    opening_log, // Start pressed, the log's check under way
    running,     // ports armed
    halting,     // arming no more; waiting for the workers to end
};

// The attempts of one run (Start to finished).
struct RunCounts {
    int begun = 0, done = 0, failed = 0, stopped = 0;
    bool record_lost = false; // a record line could not be written
};

struct StationPort {
    std::string name;
    std::string device;
};

struct StationState {
    PreparedFile file;
    std::string log_path;
    std::string log_problem; // why the log cannot be written, once known
    int quiet_s = default_quiet_s;
    std::optional<int> count; // end after this many attempts in all
    StationTimes times;

    StationPhase phase = StationPhase::idle;
    bool stop_requested = false; // Stop (or a signal): flashing workers end too
    RunCounts run;
    std::string message; // the station's last message, "" for none
    std::vector<StationRow> rows;

    bool running() const { return phase != StationPhase::idle; }
};

StationState make_station_state(const std::vector<StationPort>& ports);

} // namespace velk2
