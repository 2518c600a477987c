// What the kernel says about a running process (Linux /proc): its CPU time
// so far, its memory, its children. For the station, whose workers run
// on while it is measured, so wait4 cannot be waited for.
#pragma once

#include <optional>
#include <vector>

#include <sys/types.h>

namespace bench {

struct ProcessCpu {
    double own_seconds = 0;      // user + system of the process itself
    double children_seconds = 0; // user + system of the children it has reaped
};

std::optional<ProcessCpu> process_cpu(pid_t pid);

struct ProcessMemory {
    long rss_kib = 0;            // resident now (VmRSS)
    long peak_rss_kib = 0;       // the most it has been resident (VmHWM)
    std::optional<long> pss_kib; // its share of what it shares with others (smaps_rollup)
};

std::optional<ProcessMemory> process_memory(pid_t pid);

// The processes whose parent is `pid`, as they are now.
std::vector<pid_t> children_of(pid_t pid);

} // namespace bench
