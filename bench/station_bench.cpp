#include "station_bench.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "figures.h"
#include "machine_load.h"
#include "station_flash.h"
#include "station_idle.h"
#include "station_report.h"

namespace bench {
namespace {

constexpr int ports = 16;
constexpr double idle_seconds = 20;
constexpr double idle_settle_seconds = 3;
constexpr std::size_t flash_payload = 256 * 1024;
constexpr int flash_baud = 230400;

bool wants(const std::vector<std::string>& words, const std::string& name) {
    return std::any_of(words.begin(), words.end(),
                       [&](const std::string& w) { return w == "station" || w == name; });
}

// The machine's load over a case.
struct Load {
    std::optional<CpuSample> cpu = sample_cpu();
    std::optional<unsigned long long> io = io_stall_us();

    MachineLoad since() const {
        MachineLoad m;
        m.busy = busy_share(cpu, sample_cpu());
        if (const auto now = io_stall_us(); io && now) m.io_ms = double(*now - *io) / 1000;
        m.load_averages = load_averages();
        return m;
    }
};

} // namespace

const std::vector<std::string>& station_case_names() {
    static const std::vector<std::string> names = {"station-idle16", "station-flash16"};
    return names;
}

bool station_selected(const std::vector<std::string>& words) {
    return std::any_of(station_case_names().begin(), station_case_names().end(),
                       [&](const std::string& name) { return wants(words, name); });
}

int run_station_cases(const Tools& tools, const std::string& work,
                      const std::vector<std::string>& words) {
    std::optional<StationIdle> idle;
    std::optional<StationFlash> flash;
    MachineLoad idle_load, flash_load;
    if (wants(words, "station-idle16")) {
        const Load load;
        idle = run_station_idle(tools, work, ports, idle_seconds, idle_settle_seconds);
        idle_load = load.since();
        print_idle(*idle, idle_load);
    }
    if (wants(words, "station-flash16")) {
        const Load load;
        flash = run_station_flash(tools, work, ports, flash_payload, flash_baud);
        flash_load = load.since();
        print_flash(*flash, flash_load);
    }
    return print_station_summary(idle ? &*idle : nullptr, idle_load, flash ? &*flash : nullptr,
                                 flash_load);
}

} // namespace bench
