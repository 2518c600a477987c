// Children for the tests of their owner: each start is recorded and gives a
// child whose output, errors and end the test scripts, and whose input,
// input end and kill the test reads back. Lines are cut as a real child's.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/child_output.h"
#include "platform/child_process.h"

namespace velk2 {

// One scripted child as the test sees it. The owner's poll() takes what the
// test has written since; a kill ends the child as SIGKILL does on POSIX.
struct ChildScript {
    std::string program;
    std::vector<std::string> arguments;

    // Steered by the test.
    void say(const std::string& stdout_bytes) { stdout_pending += stdout_bytes; }
    void complain(const std::string& stderr_bytes) { stderr_pending += stderr_bytes; }
    void end(ChildExit exit) { ending = exit; }
    // The child reads at most this many input bytes at each poll (no limit
    // when unset), as a slow reader does.
    std::optional<std::size_t> reads_per_poll;

    // Read back by the test.
    std::string input;         // what the child has taken from its input
    bool input_closed = false; // the owner closed it
    bool killed = false;
    int polls = 0;

    std::string stdout_pending, stderr_pending;
    std::optional<ChildExit> ending; // takes effect at the next poll
};

class ScriptedChildren {
  public:
    // The seam to hand the owner.
    StartChild starter();

    // The next start fails with this text (once).
    void refuse_next(const std::string& error) { refusal_ = error; }

    // Every start in order, refused ones included (their script stays empty).
    const std::vector<std::shared_ptr<ChildScript>>& started() const { return started_; }
    ChildScript& last() { return *started_.back(); }

  private:
    std::vector<std::shared_ptr<ChildScript>> started_;
    std::optional<std::string> refusal_;
};

} // namespace velk2
