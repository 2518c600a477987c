// SIGTERM, SIGINT and SIGHUP for a program that runs without a window and
// without an event loop (POSIX: the station without a window, the worker):
// the handler only notes the signal, and the program's sleeps and waits
// return early for it. The program then ends in its own order. SIGPIPE is
// ignored meanwhile. The handlers are in place while the object lives; the
// actions that were there before come back after it.
#pragma once

#ifndef _WIN32

#include <cstdint>

namespace velk2 {

class ConsoleSignals {
  public:
    ConsoleSignals();
    ~ConsoleSignals();
    ConsoleSignals(const ConsoleSignals&) = delete;
    ConsoleSignals& operator=(const ConsoleSignals&) = delete;

    // The first end signal that arrived, or 0.
    static int arrived();
    // Sleeps until the monotonic clock (steady_ms) reads `until_ms`; an end
    // signal cuts the sleep short. Returns arrived().
    int sleep_until(std::int64_t until_ms);
};

} // namespace velk2

#endif
