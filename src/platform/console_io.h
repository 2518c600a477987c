// The OS's part of the console platform (console_platform.h): the standard
// streams of a program without a window, and its stop requests. POSIX:
// SIGTERM, SIGINT and SIGHUP, and poll() on standard input. Windows: Ctrl+C,
// Ctrl+Break and the console's close events, and standard input read on a
// thread of its own (a pipe cannot be waited on together with anything else);
// its bytes are taken as they are, never as text.
//
// Standard input first carries the data the program is sent (read). From the
// first look at the stop requests after that, whatever still arrives is
// dropped, and the end of the input is a stop request, as SIGTERM is. An end
// that cuts the data short is no stop request: the data are missing, and the
// program says so.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace velk2 {

class ConsoleIo {
  public:
    // Notes the stop requests from now on.
    ConsoleIo();
    // No longer notes them; a close event of the console that waits for the
    // end steps may end the process now.
    ~ConsoleIo();
    ConsoleIo(const ConsoleIo&) = delete;
    ConsoleIo& operator=(const ConsoleIo&) = delete;

    // Up to n bytes of standard input, waiting for them; fewer only at its
    // end or when a stop request came.
    std::string read(std::size_t n);

    // The signal number of the stop request that came (SIGTERM for the end
    // of standard input), or 0.
    int stop_request();

    // Sleeps `ms`, less when a stop request comes first.
    void wait(int ms);

    // One line, with the line end of the OS, to standard output or standard
    // error at once. A stream that is gone loses the line, nothing else.
    void write_output(const std::string& line);
    void write_error(const std::string& line);

    // What the OS's part keeps (shared with a reader thread on Windows).
    struct State;

  private:
    std::shared_ptr<State> state_;
};

} // namespace velk2
