// Lines a child prints, each stamped with the moment the bench read it. The
// loader prints every status text ("\t\tstream:I", "\t\tdone") and every
// diagnostic on standard error and flushes each line, so these stamps are
// the outside view of its phases.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"

namespace bench {

struct StampedLine {
    Clock::time_point at;
    std::string text;
};

struct Watched {
    Child* child = nullptr;
    std::vector<StampedLine> lines; // from its piped stderr
    std::string partial;
};

// Reads the piped stderr of every watched child until each has ended (its
// pipe closed and the process reaped) or `limit` passes; false after the limit.
bool watch_until_ended(std::vector<Watched>& runs, Clock::time_point limit);

// The first line a child prints on its piped stdout, or nothing within `wait`.
std::optional<std::string> first_output_line(Child& child, std::chrono::milliseconds wait);

// What is left on the child's piped stdout once it has ended.
std::string rest_of_output(Child& child);

// The time of the first / last line equal to `text`, in seconds after `from`.
std::optional<double> first_seen(const std::vector<StampedLine>& lines, const std::string& text,
                                 Clock::time_point from);
std::optional<double> last_seen(const std::vector<StampedLine>& lines, const std::string& text,
                                Clock::time_point from);
// The lines as a log: seconds after `from`, a blank, the line.
std::string stamped_text(const std::vector<StampedLine>& lines, Clock::time_point from);

std::size_t count_seen(const std::vector<StampedLine>& lines, const std::string& text);

} // namespace bench
