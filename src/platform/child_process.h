// Child processes of the program: a program started with its arguments (no
// shell between), fed through its standard input, read line by line from its
// standard output without ever blocking the caller, and watched for its end.
// One implementation per OS (child_process_posix.cpp, child_process_win32.cpp)
// and a scripted one for the tests (scripted_child.h). The Linux window uses
// the POSIX one as --no-window does: it needs neither an event loop nor a
// display, so both watch their children alike.
//
// Nothing here waits: the owner calls poll() a few times a second (and
// whenever its event pump runs), which moves bytes both ways as far as the
// pipes allow at that moment and notices the end. A poll of a child that has
// nothing to say costs a few system calls.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velk2 {

// How a child ended.
struct ChildExit {
    // POSIX: a signal ended it and `code` is the signal's number. Windows:
    // it ended by an exception (an exit code of the form 0xCxxxxxxx, such as
    // 0xC0000005 for an access violation) and `code` holds the code's bits.
    bool signalled = false;
    int code = 0; // else its exit status
    bool operator==(const ChildExit&) const = default;
};

// "exit status 3", "signal 9", "exception 0xC0000005".
std::string child_exit_text(const ChildExit& exit);

class ChildProcess {
  public:
    // A child still running is killed, and its end collected: no child
    // outlives its object, none is left a zombie.
    virtual ~ChildProcess() = default;

    // Queues bytes for the child's standard input. They go out as the child
    // reads them, a pipe's worth at each poll; the caller never waits for a
    // slow reader. Dropped once the input is closed.
    virtual void write_input(std::string_view bytes) = 0;
    // Bytes queued that the child has not taken yet.
    virtual std::size_t input_pending() const = 0;
    // Closes the child's standard input now: the child reads the end of its
    // input after what it has taken. Bytes still queued are dropped, so that
    // the end reaches a child that stopped reading. Idempotent.
    virtual void close_input() = 0;

    // Moves bytes both ways as far as the pipes allow now, and notices the
    // child's end. Never blocks.
    virtual void poll() = 0;

    // The complete lines the child has written to its standard output since
    // the last call, in order, without their line end ("\n", or "\r\n"). A
    // line without its end waits for it; one that never gets it (the child
    // ended in the middle) is not a line and is dropped. A line longer than
    // max_line_bytes is dropped whole.
    virtual std::vector<std::string> take_lines() = 0;
    // The last few lines the child wrote to its standard error (at most
    // stderr_tail_lines, each cut to max_line_bytes), joined with "\n"; a
    // last line without its end is included.
    virtual std::string stderr_tail() const = 0;

    // How the child ended, once it has; nothing while it runs. Once it is
    // known, take_lines() has everything the child wrote.
    virtual std::optional<ChildExit> exit_status() const = 0;

    // Ends the child at once (POSIX: SIGKILL; Windows: TerminateProcess with
    // exit code 1). Its end is seen by a later poll().
    virtual void kill() = 0;
};

inline constexpr std::size_t max_line_bytes = 64 * 1024;
inline constexpr std::size_t stderr_tail_lines = 5;

struct ChildStart {
    std::unique_ptr<ChildProcess> child; // none when it could not be started
    std::string error;                   // why, in the OS's words
};

// Starts `program` (a path: no search along PATH) with `arguments` after its
// own name, each passed to the child exactly as given. The child inherits
// the environment and the current folder, and no handle of this process but
// its three standard ones, which are pipes to its object. On POSIX it runs
// in a process group of its own, so that a terminal's Ctrl-C reaches only
// this process, which ends its children in its own order.
ChildStart start_child(const std::string& program, const std::vector<std::string>& arguments);

// The seam for the owner of children: start_child, or a scripted one in tests.
using StartChild = std::function<ChildStart(const std::string& program,
                                            const std::vector<std::string>& arguments)>;

} // namespace velk2
