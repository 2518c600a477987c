#include "station/station_texts.h"

#include <algorithm>

#include "station/flash_record.h"

namespace velk2 {

namespace {

std::string seconds_and_speed(const WorkerResult& r) {
    return record_seconds(r.elapsed_ms) + " s, " + std::to_string(r.bytes_per_s) + " bytes/s";
}

std::string bytes_of(const StationRow& row) {
    return std::to_string(row.bytes) + " / " + std::to_string(row.total) + " bytes";
}

} // namespace

int row_percent(const StationRow& row) {
    if (!row.in_attempt && !row.last_result) return 0;
    if (row.total <= 0) return 0;
    return int(std::clamp<std::int64_t>(row.bytes * 100 / row.total, 0, 100));
}

std::string row_state_text(const StationRow& row) {
    switch (row.state) {
    case RowState::not_started:
        return "not started";
    case RowState::waiting:
        return "waiting for a box";
    case RowState::flashing:
        return "flashing " + std::to_string(row_percent(row)) + " %";
    case RowState::done:
        return "done";
    case RowState::failed:
        return "failed: " + row.reason;
    case RowState::remove_box:
        return "remove the box";
    case RowState::stopped:
        return "stopped";
    }
    return "";
}

std::string row_detail_text(const StationRow& row) {
    if (row.in_attempt) return bytes_of(row) + ", " + std::to_string(row.bytes_per_s) + " bytes/s";
    if (row.last_result)
        return std::string("last: ") + outcome_name(row.last_result->outcome) + ", " +
               bytes_of(row) + ", " + seconds_and_speed(*row.last_result);
    return "";
}

std::string row_counts_text(const StationRow& row) {
    std::string text =
        "done " + std::to_string(row.done) + ", failed " + std::to_string(row.failed);
    if (row.stopped > 0) text += ", stopped " + std::to_string(row.stopped);
    return text;
}

std::string row_event_line(const StationRow& row, const WorkerResult* result) {
    std::string line = row.port + " ";
    line += row.state == RowState::flashing ? "flashing" : row_state_text(row);
    if (result) line += " (" + seconds_and_speed(*result) + ")";
    return line;
}

std::string worker_exit_text(const WorkerExit& exit) {
    std::string text = "worker ended (";
    text += exit.signalled ? "signal " : "exit status ";
    text += std::to_string(exit.code) + ")";
    // The last non-empty line of its standard error says most.
    std::string tail = exit.stderr_tail;
    while (!tail.empty() && (tail.back() == '\n' || tail.back() == '\r')) tail.pop_back();
    if (const auto cut = tail.find_last_of("\r\n"); cut != std::string::npos)
        tail = tail.substr(cut + 1);
    if (!tail.empty()) text += ": " + without_controls(tail);
    return text;
}

std::string station_summary(const StationState& state) {
    const RunCounts& run = state.run;
    std::string text = "Station: " + std::to_string(run.done + run.failed + run.stopped) +
                       " attempts, " + std::to_string(run.done) + " done, " +
                       std::to_string(run.failed) + " failed, " + std::to_string(run.stopped) +
                       " stopped\n";
    for (const StationRow& row : state.rows)
        text += row.port + " " + row.device + ": " + row_counts_text(row) + "\n";
    if (!state.log_problem.empty())
        text += "Flash log: " + state.log_problem + "\n";
    else
        text += "Flash log: " + state.log_path + "\n";
    return text;
}

} // namespace velk2
