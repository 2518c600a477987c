// The program-wide values: run configuration, receive buffer, the window and
// its controls, the open port, which exchange holds it, and the state that one
// transfer keeps while it runs. Every procedure receives this object by
// reference.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/serial_port.h"
#include "platform/window_model.h"
#include "session/window_report.h"
#include "session/window_timers.h"

namespace velk2 {

// What the process was started with. On POSIX the shell has split the line
// and removed its quotes, so the arguments stand for it; on Windows the line
// is kept as the system gave it, and the quotes in it decide what counts.
struct ProcessInfo {
    std::string program_path;      // argv[0] made absolute, links not resolved
    std::vector<std::string> args; // the arguments after the program path
    std::string current_dir;       // without a trailing separator
    // The whole command line as the system holds it (GetCommandLineW on
    // Windows), the program's own path first; unset where only `args` exist.
    std::optional<std::string> command_line;
};

// What holds the port: one exchange at a time.
enum class Exchange { none, upload, download, service, fuji };

struct Context {
    explicit Context(Platform& p) : platform(p) {}
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    Platform& platform;
    ProcessInfo process;
    Window window;
    // How the port connection and the transfers show in the window, and the
    // timers they wait on; set by the shell when it creates the window.
    std::unique_ptr<WindowReport> report;
    std::unique_ptr<WindowTimers> timers;

    // Run configuration.
    bool service_mode = VELK2_SERVICE_MODE;
    bool upload_debug = false;
    bool trace_on = false;
    int transfer_state = 0; // 2 while a download runs
    std::string work_dir;   // start directory with a trailing separator
    std::string fuji_file = "getfuji";
    bool quit_requested = false;
    std::string cmd_arg;
    std::string exe_name;
    std::string upload_file;
    std::string com_port;
    int com_number = 0;
    bool save_last_file = false;
    bool quit_after_upload = false;
    std::string upload_data;
    // `upload_data` holds the prepared bytes of `upload_file`. False after a
    // file that could not be read or prepared, so that nothing of an earlier
    // file can go out under its name.
    bool upload_ready = false;
    std::array<int, 3> window_heights{1, 3225, 15225};

    // Receive buffer of the upload and the download.
    std::string iui;

    // The port on channel `com_number`.
    std::unique_ptr<SerialPort> port;
    // The port-open flag: set by the port connection once an open has taken,
    // cleared at the start of every open and at every close. Kept here, not
    // in the window, because the click handlers and the upload's wait read
    // it, and a front end without a window must keep it too; the window
    // only shows it.
    bool port_flag = false;

    // The exchange that holds the port (see ExchangeGuard).
    Exchange exchange = Exchange::none;
    // How the last automatic upload ended: true after "done".
    bool upload_done = false;
    // An upload of this run ended "done" (the exit status of an automatic start).
    bool upload_done_in_run = false;
    // The line record "dcb1" could not be written, and the diagnostic said so.
    bool line_record_told = false;

    // Download state shared with its timer handlers.
    std::string reply;
    std::uint8_t idob = 0;
    bool turbo = false;
    // The rates ("230400 or 115200") at which the port failed to open since
    // it last opened during the wait: the reason the wait ended, when it did.
    std::string refused_rates;
};

} // namespace velk2
