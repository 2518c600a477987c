// What every benchmark case needs: the programs, a fresh folder, a payload,
// and the box simulator on a new pseudo-terminal.
#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"

namespace bench {

struct Tools {
    std::string velk2;
    std::string boxsim;
    std::string download_bench;
};

// Deterministic bytes that do not compress into patterns a bug could hide in.
std::string payload_bytes(std::size_t size, unsigned seed);

bool write_file(const std::string& path, const std::string& bytes);
std::optional<std::string> read_file(const std::string& path);

// `work`/`name`, emptied and created afresh; "" when that fails.
std::string fresh_dir(const std::string& work, const std::string& name);

// The simulator logs a line per block. Written straight to a file, a disk
// that a busy machine keeps waiting would hold the simulator up with it, so
// a thread collects the log in memory until the box has ended.
class LogCollector {
  public:
    explicit LogCollector(int fd); // a pipe's read end, owned by the caller
    ~LogCollector() { stop(); }
    LogCollector(const LogCollector&) = delete;
    LogCollector& operator=(const LogCollector&) = delete;

    // Reads what is left (all of it once the writer has gone) and stops.
    std::string stop();

  private:
    int fd_;
    std::atomic<bool> stopping_{false};
    std::string text_;
    std::thread thread_;
};

struct Box {
    Child process;
    std::string slave; // the device the PC opens
    std::string log_file;
    std::unique_ptr<LogCollector> log; // stops before `process` goes
};

// velk2-boxsim with `args` on a new pseudo-terminal; its log goes to
// `log_file` once it has ended (see finish_box).
std::optional<Box> start_box(const Tools& tools, const std::vector<std::string>& args,
                             const std::string& log_file, std::string& error);

// Waits for a --once box to end (it lingers a moment after the last answer),
// writes its log, and returns what it printed after the slave path; stops it
// at `until`.
std::string finish_box(Box& box, Clock::time_point until);

// Only a pseudo-terminal of a box this bench started may stand for a port: a
// COMn without its VELK2_COMn would be a serial device of the machine.
bool is_box_pty(const std::string& device);

// The simulator's arguments for a USB adapter with this latency timer (none for 0).
std::vector<std::string> adapter_args(int adapter_ms);

// The loader's unattended run: offscreen, message boxes printed instead of
// shown, settings kept in `config_home`.
std::map<std::string, std::string> loader_env(const std::string& config_home);

} // namespace bench
