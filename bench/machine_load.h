// How busy the whole machine was while a case ran: on a small shared
// machine other people's work shows in the figures, so the table says so.
#pragma once

#include <optional>
#include <string>

namespace bench {

struct CpuSample {
    unsigned long long busy = 0;  // jiffies spent on anything but idle and I/O wait
    unsigned long long total = 0; // all jiffies, all cores
};

// The machine's counters now (Linux /proc/stat); nothing elsewhere.
std::optional<CpuSample> sample_cpu();

// The share of all cores' time that was busy between two samples.
std::optional<double> busy_share(const std::optional<CpuSample>& from,
                                 const std::optional<CpuSample>& to);

// Microseconds in which some task waited for I/O, since boot (Linux pressure
// stall information); nothing where the kernel does not keep it.
std::optional<unsigned long long> io_stall_us();

// The three load averages as /proc/loadavg gives them, or "unknown".
std::string load_averages();

} // namespace bench
