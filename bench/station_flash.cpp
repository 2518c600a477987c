#include "station_flash.h"

#include <algorithm>
#include <sstream>
#include <thread>

#include "figures.h"
#include "process_stats.h"
#include "station_launch.h"
#include "turnaround.h"

namespace bench {
namespace {

using std::chrono::duration;

// The fields of one flash-log line (quoted as RFC 4180 where needed).
std::vector<std::string> csv_fields(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            fields.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

// Fields of a record: start, port, device, file, size, SHA-256, result,
// reason, seconds, bytes/s.
constexpr std::size_t record_fields = 10;

std::size_t done_lines(const StationRig& rig) {
    std::size_t count = 0;
    for (std::size_t at = rig.output.find(" done ("); at != std::string::npos;
         at = rig.output.find(" done (", at + 1))
        ++count;
    return count;
}

// The data blocks' ratio on the box's clock: from the first byte of the
// second data block to that of the last, whole block periods only.
std::optional<double> blocks_ratio_of(const std::vector<TurnPair>& pairs, int baud) {
    if (pairs.size() < 2) return std::nullopt;
    const double span_s = double(pairs.back().in - pairs.front().in) / 1e6;
    return limit_ratio((pairs.size() - 1) * 1024, span_s, baud);
}

} // namespace

StationFlash run_station_flash(const Tools& tools, const std::string& work, int ports,
                               std::size_t payload, int baud) {
    StationFlash r;
    r.ports = ports;
    r.payload = payload;
    r.baud = baud;
    StationRig rig;
    rig.dir = fresh_dir(work, "station-flash" + std::to_string(ports));
    const auto fail = [&](const std::string& problem) {
        r.problem = problem;
        if (!rig.dir.empty()) write_file(rig.dir + "/station.out", rig.output);
        return r;
    };
    if (rig.dir.empty()) return fail("cannot create the case folder under " + work);
    const std::string file = rig.dir + "/fw.dsp";
    const std::string bytes = payload_bytes(payload, 1);
    if (!write_file(file, bytes)) return fail("cannot write " + file);
    if (auto e = start_boxes(
            tools, rig, ports,
            {"--role", "bootloader", "--baud", std::to_string(baud), "--pace", "--once"});
        !e.empty())
        return fail(e);
    if (auto e = start_station(tools, rig, file, ports); !e.empty()) return fail(e);
    Child& station = *rig.station;

    // Twice the line time of one payload and a minute: the ports run side by side.
    const double line_time = line_seconds(payload / 1024 + 1, baud);
    const auto limit =
        Clock::now() + std::chrono::seconds(static_cast<long long>(2 * line_time) + 60);
    std::size_t done_seen = 0;
    double station_own_s = 0;
    for (int round = 0; !station.reap(false); ++round) {
        if (Clock::now() > limit) return fail("time limit passed");
        if (const auto cpu = process_cpu(station.pid())) station_own_s = cpu->own_seconds;
        if (const auto m = process_memory(station.pid()))
            r.station_peak_kib = std::max(r.station_peak_kib, m->peak_rss_kib);
        // The workers once a second: finding them reads every process's stat.
        if (round % 5 == 0)
            for (const pid_t worker : children_of(station.pid()))
                if (const auto m = process_memory(worker))
                    r.worker_peak_kib = std::max(r.worker_peak_kib, m->peak_rss_kib);
        read_station_output(rig);
        if (const std::size_t n = done_lines(rig); n > done_seen) {
            done_seen = n;
            r.last_done_s = duration<double>(Clock::now() - station.started()).count();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    read_station_output(rig);
    write_file(rig.dir + "/station.out", rig.output);
    const Ending& end = *station.ending();
    r.wall_s = duration<double>(end.at - station.started()).count();
    r.exit_status = end.status;
    // The last sample misses at most one round of the station's own time.
    r.station_cpu = r.wall_s > 0 ? station_own_s / r.wall_s : 0;
    r.workers_cpu_s = std::max(0.0, end.cpu_seconds - station_own_s);

    const auto box_limit = Clock::now() + std::chrono::seconds(10);
    std::vector<std::string> box_said;
    for (Box& box : rig.boxes) box_said.push_back(finish_box(box, box_limit));

    std::istringstream log(read_file(flash_log_of(rig)).value_or(""));
    std::vector<std::vector<std::string>> records;
    std::string line;
    std::getline(log, line); // the header
    while (std::getline(log, line)) records.push_back(csv_fields(line));

    for (std::size_t i = 0; i < rig.boxes.size(); ++i) {
        const Box& box = rig.boxes[i];
        PortFlash p;
        p.device = box.slave;
        for (const auto& f : records) {
            if (f.size() != record_fields || f[2] != box.slave) continue;
            p.result = f[6];
            p.seconds = std::stod(f[8]);
            // Bytes/s comes from the worker's milliseconds, seconds only to a tenth.
            p.ratio = std::stod(f[9]) / protocol_limit(baud);
        }
        const std::string log_text = read_file(box.log_file).value_or("");
        const auto pairs = turnaround_pairs(log_text);
        p.blocks_ratio = blocks_ratio_of(pairs, baud);
        p.turnaround_ms = turnarounds_ms(log_text);
        const std::string box_dir = rig.dir + "/box" + std::to_string(i + 1);
        p.delivered = box_said[i].find("received fw.dsp " + std::to_string(payload) + " bytes") !=
                          std::string::npos &&
                      read_file(box_dir + "/fw.dsp") == bytes;
        r.port_flashes.push_back(std::move(p));
    }

    std::string problems;
    for (const PortFlash& p : r.port_flashes) {
        std::string why;
        if (p.result != "done")
            why = "result " + (p.result.empty() ? std::string("none") : p.result);
        else if (!p.delivered)
            why = "the box's file differs or was not reported";
        else if (p.turnaround_ms.size() != payload / 1024)
            why = std::to_string(p.turnaround_ms.size()) + " turn-arounds, not " +
                  std::to_string(payload / 1024);
        if (!why.empty()) problems += (problems.empty() ? "" : "; ") + p.device + ": " + why;
    }
    if (r.exit_status != 0)
        problems += (problems.empty() ? "" : "; ") + std::string("station exit status ") +
                    std::to_string(r.exit_status);
    if (!problems.empty()) return fail(problems);
    r.ok = true;
    return r;
}

} // namespace bench
