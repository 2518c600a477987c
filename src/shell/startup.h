// The program from start to end: run configuration, window, port and upload
// file, switches, the automatic transfers or the per-port copies, the main
// loop, and the final handler.
#pragma once

#include <string>
#include <vector>

#include "session/context.h"

namespace velk2 {

// Runs the program; the result is the process exit status (0, or 1 after an
// automatic upload that did not end with "done", or 128 + n after signal n
// asked it to end).
int run_program(Context& ctx);

// The full command line: the line as the system gave it where it is known
// (Windows), else the program path, then each argument as a blank, a double
// quote, the argument and a double quote.
std::string full_command_line(const ProcessInfo& process);
// The arguments: what follows the program's path on the system's line, else
// the arguments joined with blanks.
std::string argument_text(const ProcessInfo& process);

// The title of an ordinary run.
std::string main_title();

} // namespace velk2
