#include "machine_load.h"

#include <fstream>

namespace bench {

std::optional<CpuSample> sample_cpu() {
    std::ifstream f("/proc/stat");
    std::string label;
    if (!(f >> label) || label != "cpu") return std::nullopt;
    // user nice system idle iowait irq softirq steal
    unsigned long long v[8] = {};
    for (auto& x : v)
        if (!(f >> x)) return std::nullopt;
    CpuSample s;
    for (const auto x : v) s.total += x;
    s.busy = s.total - v[3] - v[4];
    return s;
}

std::optional<double> busy_share(const std::optional<CpuSample>& from,
                                 const std::optional<CpuSample>& to) {
    if (!from || !to || to->total <= from->total) return std::nullopt;
    return double(to->busy - from->busy) / double(to->total - from->total);
}

std::optional<unsigned long long> io_stall_us() {
    // "some avg10=0.00 avg60=0.00 avg300=0.00 total=11154052"
    std::ifstream f("/proc/pressure/io");
    std::string word;
    while (f >> word)
        if (word.starts_with("total=")) return std::stoull(word.substr(6));
    return std::nullopt;
}

std::string load_averages() {
    std::ifstream f("/proc/loadavg");
    std::string a, b, c;
    if (!(f >> a >> b >> c)) return "unknown";
    return a + " " + b + " " + c;
}

} // namespace bench
