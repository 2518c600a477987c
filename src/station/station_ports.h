// Which ports the station serves and how long a line must stay silent before
// a port is armed again, from the command line and group [STATION] of the
// settings.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace velk2 {

// The station draws one row per port, up to this many.
inline constexpr std::size_t max_station_ports = 16;
inline constexpr int default_quiet_s = 5;
inline constexpr int max_quiet_s = 3600;

// Reads a key of group [STATION]; "" when it is not set.
using StationSettingLookup = std::function<std::string(const std::string& key)>;

struct StationPorts {
    std::vector<std::string> ports;
    std::string problem; // "" when the list was taken as it stands
};

// The ports given on the command line, else those of `PORTS=` (separated by
// commas or blanks), else COM1 to COM8. A name given twice is served once, in
// the place it first appeared ("com3" is COM3); beyond 16 ports the rest is
// dropped and reported.
StationPorts station_ports(const std::vector<std::string>& command_line,
                           const StationSettingLookup& setting);

struct QuietTime {
    int seconds = default_quiet_s;
    std::string problem; // a value that is not whole seconds from 0 to 3600
};

// `QUIET=`: whole seconds; a bad value is reported and the default applies.
QuietTime station_quiet(const StationSettingLookup& setting);

} // namespace velk2
