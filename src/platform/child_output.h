// What a child writes, as its owner takes it: standard output cut into
// lines, standard error kept as its last few lines. Bytes in, lines out; the
// OS backends and the scripted child share it, so every child splits alike.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace velk2 {

class ChildOutput {
  public:
    ChildOutput(std::size_t max_line, std::size_t tail_lines)
        : max_line_(max_line), tail_lines_(tail_lines) {}

    void add_stdout(std::string_view bytes);
    void add_stderr(std::string_view bytes);

    // The complete standard-output lines since the last call, without their
    // "\n" or "\r\n". An unfinished line stays for the next call; one longer
    // than the limit is dropped up to its line end.
    std::vector<std::string> take_lines();

    // The last lines of standard error joined with "\n", an unfinished last
    // line included; each line cut to the limit.
    std::string stderr_tail() const;

  private:
    std::size_t max_line_;
    std::size_t tail_lines_;
    std::string partial_;
    bool overlong_ = false; // dropping the rest of a line over the limit
    std::vector<std::string> lines_;
    std::deque<std::string> tail_;
    std::string tail_partial_;
};

} // namespace velk2
