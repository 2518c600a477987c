// A program the benchmark starts: its standard error (or output) comes back
// through a pipe, and its end is collected with wait4 so that its own CPU
// time and peak memory are known.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/types.h>

namespace bench {

using Clock = std::chrono::steady_clock;

struct Launch {
    std::vector<std::string> argv;          // argv[0] is the executable's path
    std::map<std::string, std::string> env; // added to (or replacing) the bench's own
    std::string cwd;
    bool pipe_stdout = false; // else stdout goes to stdout_file (or /dev/null)
    bool pipe_stderr = false; // else stderr goes to stderr_file (or /dev/null)
    std::string stdout_file;
    std::string stderr_file;
};

struct Ending {
    int status = -1; // exit status; -1 when killed by a signal
    Clock::time_point at;
    double cpu_seconds = 0; // user + system
    long maxrss_kib = 0;
};

// A started child. Dropping it before it has ended kills it (SIGTERM, then
// SIGKILL after 2 s), so a failed run leaves no process behind.
class Child {
  public:
    static std::optional<Child> start(const Launch& launch, std::string& error);

    Child(Child&& other) noexcept;
    Child& operator=(Child&&) = delete;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child();

    pid_t pid() const { return pid_; }
    Clock::time_point started() const { return started_; }
    int out_fd() const { return out_; } // -1 unless piped
    int err_fd() const { return err_; } // -1 unless piped
    void close_out();
    void close_err();

    // The ending if the child has ended; with `block`, waits for it.
    std::optional<Ending> reap(bool block);
    const std::optional<Ending>& ending() const { return ending_; }
    // SIGTERM, then SIGKILL if it is still there after `grace`.
    void stop(std::chrono::milliseconds grace);

  private:
    Child() = default;

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    Clock::time_point started_;
    std::optional<Ending> ending_;
};

} // namespace bench
