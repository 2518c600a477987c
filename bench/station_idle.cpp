#include "station_idle.h"

#include <map>
#include <thread>

#include "station_launch.h"

namespace bench {
namespace {

using std::chrono::duration;

double seconds_since(Clock::time_point from) {
    return duration<double>(Clock::now() - from).count();
}

long size_of(const ProcessMemory& m) {
    return m.pss_kib ? *m.pss_kib : m.rss_kib;
}

// Each worker's CPU time now, by process.
std::map<pid_t, double> workers_cpu(pid_t station) {
    std::map<pid_t, double> out;
    for (const pid_t worker : children_of(station))
        if (const auto cpu = process_cpu(worker)) out[worker] = cpu->own_seconds;
    return out;
}

} // namespace

StationIdle run_station_idle(const Tools& tools, const std::string& work, int ports, double seconds,
                             double settle_s) {
    StationIdle r;
    r.ports = ports;
    StationRig rig;
    rig.dir = fresh_dir(work, "station-idle" + std::to_string(ports));
    const auto fail = [&](const std::string& problem) {
        r.problem = problem;
        if (!rig.dir.empty()) write_file(rig.dir + "/station.out", rig.output);
        return r;
    };
    if (rig.dir.empty()) return fail("cannot create the case folder under " + work);
    const std::string file = rig.dir + "/fw.dsp";
    if (!write_file(file, payload_bytes(256 * 1024, 1))) return fail("cannot write " + file);
    // A box that comes after an hour: the ports wait the whole case.
    if (auto e = start_boxes(tools, rig, ports,
                             {"--role", "bootloader", "--baud", "230400", "--pace",
                              "--appear-after", "3600", "--timeout", "3700"});
        !e.empty())
        return fail(e);
    if (auto e = start_station(tools, rig, file, std::nullopt); !e.empty()) return fail(e);
    Child& station = *rig.station;

    const auto arm_limit = Clock::now() + std::chrono::seconds(60);
    while (lines_ending_with(rig, " waiting for a box") < std::size_t(ports)) {
        if (Clock::now() > arm_limit || station.reap(false))
            return fail("not every port said it was waiting (see " + rig.dir + "/station.out)");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        read_station_output(rig);
    }
    r.armed_s = duration<double>(Clock::now() - station.started()).count();
    std::this_thread::sleep_for(duration<double>(settle_s));

    const auto station_before = process_cpu(station.pid());
    const auto workers_before = workers_cpu(station.pid());
    const auto from = Clock::now();
    std::this_thread::sleep_for(duration<double>(seconds));
    const auto station_after = process_cpu(station.pid());
    const auto workers_after = workers_cpu(station.pid());
    r.measured_s = seconds_since(from);
    if (!station_before || !station_after) return fail("no CPU figures for the station");
    r.station_cpu = (station_after->own_seconds - station_before->own_seconds) / r.measured_s;
    double workers_s = 0;
    for (const auto& [pid, after] : workers_after) {
        const auto before = workers_before.find(pid);
        if (before == workers_before.end()) continue;
        workers_s += after - before->second;
        ++r.workers;
    }
    r.workers_cpu = workers_s / r.measured_s;
    if (const auto m = process_memory(station.pid())) r.station_memory = *m;
    for (const auto& [pid, cpu] : workers_after)
        if (const auto m = process_memory(pid); m && size_of(*m) > size_of(r.worker_memory))
            r.worker_memory = *m;
    read_station_output(rig);

    const auto stop_at = Clock::now();
    station.stop(std::chrono::seconds(20));
    r.stop_s = seconds_since(stop_at);
    r.exit_status = station.ending() ? station.ending()->status : -1;
    read_station_output(rig);
    write_file(rig.dir + "/station.out", rig.output);
    for (Box& box : rig.boxes) finish_box(box, Clock::now());

    if (r.workers != ports)
        return fail(std::to_string(r.workers) + " workers lived through the span, not " +
                    std::to_string(ports));
    r.ok = true;
    return r;
}

} // namespace bench
