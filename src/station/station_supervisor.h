// The station's supervisor: carries out the actions of station_step with the
// platform's services and feeds what happens back as events, in the order
// station_step.h asks for. It decides nothing itself; the window and the run
// without a window only call it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/child_process.h"
#include "station/flash_record.h"
#include "station/station_file.h"
#include "station/station_step.h"

namespace velk2 {

// How often the supervisor looks at its workers and ticks the clock. Ten
// rounds a second of 16 waiting workers cost well under 0.1 % of a core.
inline constexpr int station_tick_ms = 100;

// What the supervisor takes from the platform.
struct StationServices {
    std::string program;                  // this program's path: every worker is a copy of it
    StartChild start_child;               // start_child, or scripted children in the tests
    AppendLine append;                    // append_durably
    std::function<std::int64_t()> now_ms; // the monotonic clock
    std::function<LocalTime()> local_time;
    std::function<void(const std::string&)> print;   // a row's event line
    std::function<void(const std::string&)> message; // a station-wide message
};

class StationSupervisor {
  public:
    StationSupervisor(StationState state, StationServices services);
    // A worker still running is killed with its object.
    ~StationSupervisor();
    StationSupervisor(const StationSupervisor&) = delete;
    StationSupervisor& operator=(const StationSupervisor&) = delete;

    // The file of the next Start: its bytes go to every worker. False (and
    // nothing changed) while the station runs.
    bool set_file(StationFile file);

    void start(); // Start pressed
    void stop();  // Stop pressed, or an end signal
    // One round: each worker's new lines and its end fed in, row by row,
    // then a tick of the clock.
    void tick();

    const StationState& state() const { return state_; }
    // The exit status of the run once it has finished; none while it runs
    // and before the first Start.
    std::optional<int> finished() const { return finished_; }

  private:
    void feed(StationEvent event);

    StationState state_;
    StationServices services_;
    std::string bytes_;
    std::vector<std::unique_ptr<ChildProcess>> children_; // by row
    std::optional<int> finished_;
};

// The local wall clock as the record writes it.
LocalTime station_local_time();

} // namespace velk2
