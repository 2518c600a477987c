// The station's command line: `velk2 --station [--no-window] [--file FILE]
// [--count N] [PORT...]`, options and ports in any order after --station.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velk2 {

struct StationOptions {
    bool window = true;
    std::string file;         // "" when none is given
    std::optional<int> count; // end after this many attempts in all
    std::vector<std::string> ports;
};

// True when the arguments ask for the station (the first is --station).
bool station_requested(const std::vector<std::string>& args);

struct StationCommand {
    StationOptions options;
    std::string problem; // "" when the arguments are good; else exit 2
};

// The options of the arguments after the program's path. Refused: an
// option we do not have, an option without its value or given twice, a
// count that is not a whole number from 1 on, and --no-window without --file.
StationCommand station_command(const std::vector<std::string>& args);

// Exit status of a refused station command line.
constexpr int station_usage_status = 2;

} // namespace velk2
