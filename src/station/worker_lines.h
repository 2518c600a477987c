// The lines a worker writes to its standard output, one event per line, and
// the station reads back. The format is documented for script writers in
// docs/worker-lines.md: UTF-8, fields separated by one blank, a reason (or a
// device) is the rest of the line with every control character replaced by a
// blank.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace velk2 {

// `ready SIZE SHA256`: the upload data arrived and matched its hash.
struct WorkerReady {
    std::int64_t size = 0;
    std::string sha256; // 64 lower-case hex digits
    bool operator==(const WorkerReady&) const = default;
};

// `quiet`: the line must fall silent before the next box.
struct WorkerQuiet {
    bool operator==(const WorkerQuiet&) const = default;
};

// `waiting DEVICE`: armed, listening for a box on DEVICE.
struct WorkerWaiting {
    std::string device;
    bool operator==(const WorkerWaiting&) const = default;
};

// `flashing BYTES TOTAL BAUD`: payload bytes acknowledged so far.
struct WorkerFlashing {
    std::int64_t bytes = 0;
    std::int64_t total = 0;
    std::int64_t baud = 0;
    bool operator==(const WorkerFlashing&) const = default;
};

enum class FlashOutcome { done, failed, stopped };

// `result done|failed|stopped SECONDS BYTES_PER_S [REASON]`; SECONDS has up
// to three decimals, kept here in milliseconds.
struct WorkerResult {
    FlashOutcome outcome = FlashOutcome::done;
    std::int64_t elapsed_ms = 0;
    std::int64_t bytes_per_s = 0;
    std::string reason; // failed only
    bool operator==(const WorkerResult&) const = default;
};

// `error REASON`: the worker could not start.
struct WorkerError {
    std::string reason;
    bool operator==(const WorkerError&) const = default;
};

using WorkerEvent = std::variant<WorkerReady, WorkerQuiet, WorkerWaiting, WorkerFlashing,
                                 WorkerResult, WorkerError>;

// The line of an event, without its line end. Control characters in a
// reason or device become blanks.
std::string format_worker_line(const WorkerEvent& event);

// The event of one line (its line end, "\n" or "\r\n", may be included);
// nullopt for a line that is not in the format.
std::optional<WorkerEvent> parse_worker_line(std::string_view line);

// "done", "failed", "stopped".
const char* outcome_name(FlashOutcome outcome);

// `text` with every control character (C0, DEL, and C1 in UTF-8) replaced by
// one blank, so a reason can neither break a line nor steer a terminal.
std::string without_controls(std::string_view text);

} // namespace velk2
