// `velk2 --worker ...` as a process of its own: the console platform, the
// window model (never shown) whose timers the upload waits on, and the
// worker's run on standard input and output.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace velk2 {

// Reads a key of a group of the user's settings ("" when absent).
using WorkerSettings =
    std::function<std::string(const std::string& section, const std::string& key)>;

// Runs the worker for the arguments after the program's path ("--worker"
// first); the process exit status. Needs no display.
int worker_main(const std::vector<std::string>& args, const WorkerSettings& settings);

} // namespace velk2
