// Ctrl+C, Ctrl+Break and the console's close, log-off and shutdown events
// while a Win32 platform lives: the handler (on a thread of its own) only
// notes the event as a signal number, wakes the window thread and closes any
// message box or file dialog that is open on it; the platform throws
// Interrupted at its next safe point, as on POSIX. For the close events the
// handler then waits a moment, so that the port is closed before Windows ends
// the process.
#pragma once

#include "platform/win32/win32_api.h"

namespace velk2 {

class EndEvents {
  public:
    EndEvents();
    ~EndEvents();
    EndEvents(const EndEvents&) = delete;
    EndEvents& operator=(const EndEvents&) = delete;

    // SIGINT, SIGBREAK or SIGTERM for the first event that arrived, or 0.
    static int arrived();
    // The program has finished its end steps; a waiting handler may return.
    static void finished();
};

} // namespace velk2
