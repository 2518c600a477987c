// A supervisor for the station's unit tests: it carries out the actions of
// station_step as the real one does (appends synchronously, unless told to
// hold them), keeps what it did with the time, and plays the workers from a
// script of timed lines.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "station/station_step.h"

namespace velk2::test {

inline const std::string test_digest =
    "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";

struct Step {
    std::int64_t ms;
    // "start", "stop", "tick"; "<row> <worker line>" ("$READY" is the right
    // ready line); "<row> !exit N [stderr]", "<row> !signal N"; "logfail",
    // "logok" (what appends return from now on), "hold", "release" (appends
    // wait for "release"); "?<row> <state text>", "#<row> <counts text>",
    // "=<row> <bytes text>" check a row.
    std::string what;
};

class StationScript {
  public:
    explicit StationScript(int ports);

    void run(const std::vector<Step>& steps);

    StationState state;
    // "start 0@0 q0", "close 1@3000", "kill 1@8000": the process actions in order.
    std::vector<std::string> processes;
    std::vector<std::string> records;  // whole record lines
    std::vector<std::string> printed;  // PrintEvent texts
    std::vector<std::string> messages; // ShowMessage texts
    std::optional<int> exit_status;    // of Finished
    int finished_count = 0;
    std::vector<std::string> check_failures;

  private:
    void feed(const StationEvent& event);
    void carry_out(std::vector<StationAction> actions);
    void append(const AppendRecord& r);
    void check(char kind, const std::string& what);

    std::int64_t ms_ = 0;
    std::error_code append_error_;
    bool hold_ = false;
    std::vector<AppendRecord> held_; // appends that wait for "release"
};

// The record line's start time of day, port, device, result, seconds and
// reason: "16:05:01 COM1 /dev/pts/1 failed 2.0: worker ended (signal 11)".
std::string record_gist(const std::string& line);

} // namespace velk2::test
