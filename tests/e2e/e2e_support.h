// Running the real programs for the end-to-end tests: velk2 (offscreen, no
// blocking dialogs) and velk2-boxsim on a pseudo-terminal.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/types.h>

#include "platform/qt/qt_platform.h"
#include "session/context.h"
#include "support/harness.h"

namespace velk2::e2e {

struct Result {
    int status = -1;      // exit status, or -1 when killed after the time limit
    std::string out, err; // what the program printed
};

// A program running in the background; killed when the object goes.
class Background {
  public:
    // With `stderr_file` the program's standard error goes to that file
    // instead of `Result::err`: a chatty program nobody reads while a test
    // runs in-process would otherwise fill the pipe and stall.
    Background(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
               const std::string& cwd, const std::string& stderr_file = {});
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
    void drain();

    pid_t pid_ = -1;
    int out_ = -1, err_ = -1;
    std::string out_buf_;
    bool done_ = false;
    Result result_;
};

// Runs a program to its end.
Result run(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
           const std::string& cwd, std::chrono::milliseconds limit);

// The line between loader and box: bare, or through a USB serial adapter
// whose 16-ms latency timer holds the box's replies (the default of the
// common FTDI adapters). The transfer tests run over both.
enum class Link { bare, adapter16 };
// The simulator's arguments for the link, added to a box's own.
std::vector<std::string> with_link(std::vector<std::string> box_args, Link link);
// "Bare" or "Adapter16", for the names of the parametrised tests.
std::string link_name(const ::testing::TestParamInfo<Link>& info);
inline void PrintTo(Link link, std::ostream* os) {
    *os << (link == Link::bare ? "bare line" : "16-ms adapter");
}
#define VELK2_OVER_EVERY_LINK(suite)                                                               \
    INSTANTIATE_TEST_SUITE_P(Line, suite, ::testing::Values(Link::bare, Link::adapter16), link_name)

// The box simulator on a new pseudo-terminal; `slave` is the device it serves.
// Its event log (a line per block) goes to a file of its own, read by log().
struct Box {
    std::string log_path;
    Background process;
    std::string slave;
    Box(const std::vector<std::string>& args, const std::string& cwd);
    ~Box();
    Box(const Box&) = delete;
    Box& operator=(const Box&) = delete;
    std::string log() const;
};

// The environment of a velk2 run: offscreen, dialogs printed, settings in `config_home`.
std::map<std::string, std::string> velk2_env(const std::string& config_home);

using test::read_file;
using test::write_file;
std::string make_temp_dir();
// A fresh temporary directory, removed with everything in it when the object
// goes (also when an assertion ends the test early).
struct ScopedDir {
    std::string path = make_temp_dir();
    ScopedDir() = default;
    ~ScopedDir();
    ScopedDir(const ScopedDir&) = delete;
    ScopedDir& operator=(const ScopedDir&) = delete;
};
// Deterministic sample bytes.
std::string sample_bytes(std::size_t n, unsigned seed = 1);

// The end of a long output, for failure messages.
std::string tail_of(const std::string& text, std::size_t chars = 3000);

// Equal byte strings; otherwise the sizes and the first offset that differs
// (a megabyte-sized diff helps nobody).
::testing::AssertionResult same_bytes(const std::string& expected, const std::string& actual);

// What this process writes on standard error while the object lives: the
// loader run in-process prints its diagnostics and message boxes there.
class StderrCapture {
  public:
    StderrCapture();
    ~StderrCapture();
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;
    std::string text() const;

  private:
    int saved_ = -1;
    std::string path_;
};

// The loader inside the test process on the Qt platform (offscreen), for the
// transfers that no command line starts. Its work folder is `dir` (the
// current directory stays as it was); its settings are kept in `dir`/config;
// its file dialogs take `dialog_answers` in turn (relative names count from
// the current directory), its message boxes print on standard error. The
// port is `port_device` as it stands.
class InProcessLoader {
  public:
    InProcessLoader(const std::string& dir, const std::string& port_device,
                    const std::vector<std::string>& dialog_answers);
    ~InProcessLoader();
    InProcessLoader(const InProcessLoader&) = delete;
    InProcessLoader& operator=(const InProcessLoader&) = delete;

    Context& ctx() { return *ctx_; }

  private:
    std::unique_ptr<QtPlatform> platform_;
    std::unique_ptr<Context> ctx_;
};

} // namespace velk2::e2e
