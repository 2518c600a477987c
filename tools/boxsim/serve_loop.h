// Runs a role on a line: moves bytes both ways (paced, and garbled where the
// PC's rate differs from the box's), keeps time, logs, and decides when to stop.
#pragma once

#include "line.h"
#include "role.h"

#include <chrono>
#include <csignal>
#include <string>

namespace boxsim {

struct ServeSettings {
    bool pace = false;
    bool once = false;
    std::chrono::seconds run_limit{600};
    std::string out_dir = ".";
    // The k-th file received in the run is saved as "k-NAME", so a second
    // upload of one name does not replace the first.
    bool number_files = false;
    // A USB serial adapter on the box-to-PC direction (see adapter.h); zero: none.
    std::chrono::milliseconds adapter_latency{0};
};

// Exit statuses of a run.
inline constexpr int exit_ok = 0;
inline constexpr int exit_line_failed = 1;
inline constexpr int exit_incomplete = 3; // --once and the run time ran out first

// Serves until one of `stop_signals` is pending (the caller blocks them), the
// run limit passes, a role hangs up, or with `once` a transfer has finished.
int serve(Line& line, Role& role, const ServeSettings& settings, const sigset_t& stop_signals);

} // namespace boxsim
