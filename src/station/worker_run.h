// The station's per-port worker: `velk2 --worker PORT --name PATH --size N
// --sha256 HEX [--quiet-first S] [--quiet Q]`. It takes the prepared upload
// data from its standard input, listens on its port for a box for as long as
// it is armed, runs the upload exactly as the automatic upload does, and
// tells each step as one line on its standard output (worker_lines.h). A stop
// request (the end of its standard input, SIGTERM) reaches it through the
// platform's end-signal check, so every way out closes the port.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "session/context.h"

namespace velk2 {

struct WorkerOptions {
    std::string port; // a port name (COM3) or a device path
    std::string name; // the chosen file's path: its base name goes into block 0
    std::int64_t size = 0;
    std::string sha256;     // 64 hex digits, compared without regard to case
    int quiet_first_ms = 0; // silence wanted before the first listen
    int quiet_ms = 5000;    // silence wanted after the result
};

// True when the arguments ask for a worker (the first one is --worker).
bool worker_requested(const std::vector<std::string>& args);

// The options of the arguments ("--worker" first), or why they cannot be used.
// Seconds may carry up to three decimals.
std::variant<WorkerOptions, std::string> parse_worker_options(const std::vector<std::string>& args);

// What a worker takes from its host besides the platform.
struct WorkerIo {
    // Up to n bytes of standard input; fewer only at its end (or when a stop
    // request came meanwhile: the platform's check then throws).
    std::function<std::string(std::size_t n)> read_input;
    // One line to standard output, written at once.
    std::function<void(const std::string& line)> write_line;
    // The text of the last message box the platform showed; the host's
    // platform fills it, the worker clears it before the upload and makes
    // the reason of a failed upload from it.
    std::string last_message;
};

// Runs one attempt on a context whose window model exists (create_window and
// wire_handlers done, the platform attached). The exit status: 0 after an
// upload that ended "done", 1 otherwise.
int run_worker(Context& ctx, const std::vector<std::string>& args, WorkerIo& io);

// The longest a listen read waits: a stop request is seen at least this often.
constexpr int listen_read_bytes = 100;

} // namespace velk2
