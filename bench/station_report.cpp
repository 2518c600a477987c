#include "station_report.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "figures.h"
#include "turnaround.h"

namespace bench {
namespace {

std::string fixed(const char* format, double value) {
    char text[48];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

double mib(long kib) {
    return double(kib) / 1024.0;
}

std::string load_text(const MachineLoad& load) {
    return "machine busy " + (load.busy ? fixed("%.0f %%", *load.busy * 100) : "-") + ", io " +
           (load.io_ms ? fixed("%.0f ms", *load.io_ms) : "-") + ", load average " +
           load.load_averages;
}

std::string memory_text(const ProcessMemory& m) {
    return "RSS " + fixed("%.1f", mib(m.rss_kib)) + " MiB, PSS " +
           (m.pss_kib ? fixed("%.1f", mib(*m.pss_kib)) : std::string("-")) + " MiB";
}

std::vector<double> all_turnarounds(const StationFlash& flash) {
    std::vector<double> all;
    for (const PortFlash& p : flash.port_flashes)
        all.insert(all.end(), p.turnaround_ms.begin(), p.turnaround_ms.end());
    return all;
}

struct SummaryRow {
    std::string figure;
    std::string value;
    std::string target;
    std::string verdict;
};

} // namespace

void print_idle(const StationIdle& idle, const MachineLoad& load) {
    std::printf("\nstation-idle%d: %d ports waiting for boxes that do not come\n", idle.ports,
                idle.ports);
    if (!idle.ok) {
        std::printf("  FAILED: %s\n", idle.problem.c_str());
        std::fflush(stdout);
        return;
    }
    std::printf("  every port waiting %.2f s after the start; measured over %.1f s\n", idle.armed_s,
                idle.measured_s);
    std::printf("  station CPU %.3f %% of one core; %d workers %.3f %% of one core in all "
                "(%.4f %% each)\n",
                idle.station_cpu * 100, idle.workers, idle.workers_cpu * 100,
                idle.workers > 0 ? idle.workers_cpu * 100 / idle.workers : 0.0);
    std::printf("  station %s; largest worker %s\n", memory_text(idle.station_memory).c_str(),
                memory_text(idle.worker_memory).c_str());
    std::printf("  SIGTERM to the station's exit %.2f s (exit status %d)\n", idle.stop_s,
                idle.exit_status);
    std::printf("  %s\n", load_text(load).c_str());
    std::fflush(stdout);
}

void print_flash(const StationFlash& flash, const MachineLoad& load) {
    std::printf("\nstation-flash%d: %d boxes at %d there from the start, %s each, --count %d\n",
                flash.ports, flash.ports, flash.baud, size_text(flash.payload).c_str(),
                flash.ports);
    if (!flash.port_flashes.empty()) {
        std::printf("  %-12s %-7s %9s %7s %7s %7s %7s %7s %7s\n", "device", "result", "attempt s",
                    "ratio", "blocks", "med ms", "mean ms", "p99 ms", "max ms");
        for (const PortFlash& p : flash.port_flashes) {
            const Spread s = spread_of(p.turnaround_ms);
            std::printf("  %-12s %-7s %9.2f %7.4f %7s %7.3f %7.3f %7.3f %7.3f\n", p.device.c_str(),
                        p.result.empty() ? "-" : p.result.c_str(), p.seconds, p.ratio,
                        p.blocks_ratio ? fixed("%.4f", *p.blocks_ratio).c_str() : "-", s.median,
                        s.mean, s.p99, s.max);
        }
    }
    if (!flash.ok) std::printf("  FAILED: %s\n", flash.problem.c_str());
    std::printf("  wall %.2f s (last \"done\" at %.2f s); station CPU %.3f %% of its wall, "
                "workers %.1f s in all\n",
                flash.wall_s, flash.last_done_s, flash.station_cpu * 100, flash.workers_cpu_s);
    std::printf("  peak RSS: station %.1f MiB, largest worker %.1f MiB\n",
                mib(flash.station_peak_kib), mib(flash.worker_peak_kib));
    std::printf("  %s\n", load_text(load).c_str());
    std::fflush(stdout);
}

int print_station_summary(const StationIdle* idle, const MachineLoad& idle_load,
                          const StationFlash* flash, const MachineLoad& flash_load) {
    std::vector<SummaryRow> rows;
    int status = 0;
    const auto verdict = [&status](bool met) {
        if (!met && status == 0) status = 3;
        return std::string(met ? "ok" : "MISSED");
    };
    if (idle && !idle->ok) {
        status = 1;
        rows.push_back({"idle: FAILED", idle->problem, "", ""});
    } else if (idle) {
        const int n = idle->workers;
        rows.push_back({"idle: station CPU, % of one core", fixed("%.3f", idle->station_cpu * 100),
                        fixed("< %.0f", idle_station_cpu_target * 100),
                        verdict(idle->station_cpu < idle_station_cpu_target)});
        rows.push_back({"idle: " + std::to_string(n) + " workers' CPU, % of one core",
                        fixed("%.3f", idle->workers_cpu * 100), "", ""});
        rows.push_back({"idle: station RSS / PSS, MiB",
                        fixed("%.1f", mib(idle->station_memory.rss_kib)) + " / " +
                            fixed("%.1f", mib(idle->station_memory.pss_kib.value_or(0))),
                        "", ""});
        rows.push_back({"idle: one worker RSS / PSS, MiB",
                        fixed("%.1f", mib(idle->worker_memory.rss_kib)) + " / " +
                            fixed("%.1f", mib(idle->worker_memory.pss_kib.value_or(0))),
                        "", ""});
        rows.push_back({"idle: machine busy, %",
                        idle_load.busy ? fixed("%.0f", *idle_load.busy * 100) : "-", "", ""});
    }
    if (flash && !flash->ok) {
        status = 1;
        rows.push_back({"flash: FAILED", flash->problem, "", ""});
    }
    if (flash && !flash->port_flashes.empty()) {
        const auto& ports = flash->port_flashes;
        const auto [low, high] =
            std::minmax_element(ports.begin(), ports.end(),
                                [](const auto& a, const auto& b) { return a.ratio < b.ratio; });
        double blocks_low = 1, blocks_high = 0;
        for (const PortFlash& p : ports)
            if (p.blocks_ratio) {
                blocks_low = std::min(blocks_low, *p.blocks_ratio);
                blocks_high = std::max(blocks_high, *p.blocks_ratio);
            }
        const Spread s = spread_of(all_turnarounds(*flash));
        const std::string n = std::to_string(flash->ports);
        rows.push_back({"flash: wall s, " + n + " x " + size_text(flash->payload),
                        fixed("%.2f", flash->wall_s), "", ""});
        rows.push_back({"flash: attempt ratio, lowest-highest",
                        fixed("%.4f", low->ratio) + "-" + fixed("%.4f", high->ratio), "", ""});
        rows.push_back({"flash: data blocks ratio, lowest-highest",
                        fixed("%.4f", blocks_low) + "-" + fixed("%.4f", blocks_high), "", ""});
        rows.push_back({"flash: turn-around median, ms", fixed("%.3f", s.median),
                        fixed("< %.1f", turnaround_median_target_ms),
                        verdict(s.count > 0 && s.median < turnaround_median_target_ms)});
        rows.push_back(
            {"flash: turn-around mean / p99 / max, ms",
             fixed("%.3f", s.mean) + " / " + fixed("%.3f", s.p99) + " / " + fixed("%.3f", s.max),
             "", ""});
        rows.push_back(
            {"flash: station CPU, % of its wall", fixed("%.3f", flash->station_cpu * 100), "", ""});
        rows.push_back({"flash: workers' CPU, % of one core each",
                        fixed("%.2f", flash->wall_s > 0 ? flash->workers_cpu_s * 100 /
                                                              flash->ports / flash->wall_s
                                                        : 0.0),
                        "", ""});
        rows.push_back({"flash: peak RSS station / worker, MiB",
                        fixed("%.1f", mib(flash->station_peak_kib)) + " / " +
                            fixed("%.1f", mib(flash->worker_peak_kib)),
                        "", ""});
        rows.push_back({"flash: machine busy, %",
                        flash_load.busy ? fixed("%.0f", *flash_load.busy * 100) : "-", "", ""});
    }
    std::printf("\nStation, summary\n%-44s %-22s %-8s %s\n", "figure", "value", "target",
                "verdict");
    for (const SummaryRow& r : rows)
        std::printf("%-44s %-22s %-8s %s\n", r.figure.c_str(), r.value.c_str(), r.target.c_str(),
                    r.verdict.c_str());
    std::fflush(stdout);
    return status;
}

} // namespace bench
