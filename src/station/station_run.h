// The station from its command line to its exit status, with a window or
// without one: the ports, the quiet time and the flash log's place taken
// from the settings, the file prepared once, and the supervisor run on a
// tick of station_tick_ms. Plain C++ over the platform's interfaces.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/device_names.h"
#include "platform/platform.h"
#include "platform/window_model.h"
#include "station/station_options.h"
#include "station/station_ports.h"
#include "station/station_supervisor.h"

namespace velk2 {

// Where the station finds its settings and devices.
struct StationSources {
    StationSettingLookup setting; // group [STATION]
    std::function<PortMapping(const std::string& port)> map_port;
    EnvLookup env; // the flash log's folder
};

struct StationSetup {
    StationState state;
    std::vector<std::string> notes; // settings that were taken with a correction
};

// The rows (the ports mapped to their devices), the quiet time, the count
// and the flash log's path; the file is the supervisor's (set_file).
StationSetup station_setup(const StationOptions& options, const StationSources& sources);

// The services of the running program: real children, the durable append,
// the monotonic and the local clock.
StationServices native_station_services(const std::string& program);

// Waiting between two rounds without a window: the monotonic clock, and a
// sleep until a moment of it that an end signal cuts short, which returns
// the signal's number once one has arrived, else 0.
struct StationWaiting {
    std::function<std::int64_t()> now_ms;
    std::function<int(std::int64_t until_ms)> sleep_until;
};
// The platform's clock and pause (an Interrupted pause gives its signal).
StationWaiting platform_waiting(Platform& platform);

// Without a window: the file of --file prepared, Start at once, one round
// every tick, the first end signal taken as Stop. Row events and, at the
// end, the summary go to `services.print` one line a call; the station's
// messages to `services.message`. Returns the exit status of the run (0
// when every attempt ended "done").
int run_station_without_window(const StationOptions& options, const StationSources& sources,
                               StationServices services, const StationWaiting& waiting);

// The station window on `platform`, drawn from `window`: "Choose file"
// opens the platform's file dialog, Start and Stop switch the station, a
// timer of the window runs the rounds. Closing the window (or an end signal)
// is Stop; the call returns once every worker has ended: 0, or 128 + n
// after end signal n.
int run_station_window(const StationOptions& options, const StationSources& sources,
                       StationServices services, Platform& platform, Window& window);

// The name of the window's timer that runs the rounds.
inline constexpr const char* station_tick_timer = "station_tick";
// The pattern of the file dialog: DSP firmware and JPG pictures.
inline constexpr const char* station_file_pattern = "*.DSP *.JPG";

} // namespace velk2
