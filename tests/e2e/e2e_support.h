// Running the real programs for the end-to-end tests: velk2 (offscreen, no
// blocking dialogs) and velk2-boxsim on a pseudo-terminal.
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include <sys/types.h>

namespace velk2::e2e {

struct Result {
    int status = -1;      // exit status, or -1 when killed after the time limit
    std::string out, err; // what the program printed
    double seconds = 0;
};

// A program running in the background; killed when the object goes.
class Background {
  public:
    Background(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
               const std::string& cwd);
    ~Background();
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

    // The next line of standard output, "" after the time limit.
    std::string read_line(std::chrono::milliseconds limit);
    // Waits for the end; kills it after the limit. Collects the rest of its output.
    Result wait(std::chrono::milliseconds limit);
    void terminate(); // SIGTERM, then wait
    pid_t pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    int out_ = -1, err_ = -1;
    std::string out_buf_, err_buf_;
    std::chrono::steady_clock::time_point start_;
    bool done_ = false;
    Result result_;
};

// Runs a program to its end.
Result run(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
           const std::string& cwd, std::chrono::milliseconds limit);

// The box simulator on a new pseudo-terminal; `slave` is the device it serves.
struct Box {
    Background process;
    std::string slave;
    Box(const std::vector<std::string>& args, const std::string& cwd);
};

// The environment of a velk2 run: offscreen, dialogs printed, settings in `config_home`.
std::map<std::string, std::string> velk2_env(const std::string& config_home);

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);
std::string make_temp_dir();
// Deterministic sample bytes.
std::string sample_bytes(std::size_t n, unsigned seed = 1);

} // namespace velk2::e2e
