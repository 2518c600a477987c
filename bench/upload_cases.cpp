#include "upload_cases.h"

#include <filesystem>
#include <optional>

#include "line_watch.h"
#include "turnaround.h"

namespace bench {
namespace {

// The loader's status texts, as it prints them on standard error.
const std::string stream_started = "\t\tstream:I"; // block 0 acknowledged, data blocks next
const std::string blocks_done = "\t\tend:1";       // last data block acknowledged, first EOT
const std::string upload_done = "\t\tdone";        // end exchange complete

struct Port {
    std::string dir;
    std::string payload_path;
    std::string payload;
    std::optional<Box> box;
    std::optional<Child> loader;
};

// Everything that can be said about one port once its loader and box ended.
Figures figures_of(const UploadCase& c, const Port& port, const Watched& watched,
                   const std::string& box_said, long baseline_kib) {
    Figures f;
    f.name = c.name;
    f.payload = c.payload;
    f.baud = c.baud;
    const Ending& end = *port.loader->ending();
    const Clock::time_point t0 = port.loader->started();
    f.wall = std::chrono::duration<double>(end.at - t0).count();
    f.cpu_share = f.wall > 0 ? end.cpu_seconds / f.wall : 0;
    f.maxrss_kib = end.maxrss_kib;
    f.growth_kib = baseline_kib > 0 ? end.maxrss_kib - baseline_kib : 0;

    const auto started = first_seen(watched.lines, stream_started, t0);
    const auto blocks = first_seen(watched.lines, blocks_done, t0);
    const auto done = first_seen(watched.lines, upload_done, t0);
    if (started && done) {
        f.phase = *done - *started;
        f.ratio = limit_ratio(c.payload, f.phase, c.baud);
    }
    if (started && blocks) f.blocks_ratio = limit_ratio(c.payload, *blocks - *started, c.baud);
    if (const auto log = read_file(port.box->log_file)) f.turnaround_ms = turnarounds_ms(*log);

    const std::string base = port.payload_path.substr(port.payload_path.rfind('/') + 1);
    const auto received = read_file(port.dir + "/out/" + base);
    if (end.status != 0) {
        f.problem = "loader exit status " + std::to_string(end.status);
    } else if (!started || !done) {
        f.problem = "no \"stream:I\" / \"done\" on the loader's standard error";
    } else if (box_said.find("received " + base + " " + std::to_string(c.payload) + " bytes") ==
               std::string::npos) {
        f.problem = "the box did not report the file received";
    } else if (!received || *received != port.payload) {
        f.problem = "the box's file differs from the payload";
    } else {
        f.ok = true;
    }
    return f;
}

} // namespace

std::vector<Figures> run_upload(const Tools& tools, const std::string& work, const UploadCase& c,
                                long baseline_kib) {
    std::vector<Figures> out;
    const auto fail_all = [&](const std::string& problem) {
        Figures f;
        f.name = c.name;
        f.payload = c.payload;
        f.baud = c.baud;
        f.problem = problem;
        return std::vector<Figures>(static_cast<std::size_t>(c.ports), f);
    };
    const std::string dir = fresh_dir(work, c.name);
    if (dir.empty()) return fail_all("cannot create the case folder under " + work);
    const std::string config = dir + "/config";
    std::filesystem::create_directories(config);

    std::vector<Port> ports(static_cast<std::size_t>(c.ports));
    std::string error;
    for (int n = 1; n <= c.ports; ++n) {
        Port& p = ports[static_cast<std::size_t>(n - 1)];
        p.dir = dir + "/com" + std::to_string(n);
        std::filesystem::create_directories(p.dir + "/out");
        p.payload = payload_bytes(c.payload, static_cast<unsigned>(n));
        p.payload_path = p.dir + "/bench" + std::to_string(n) + ".dsp";
        if (!write_file(p.payload_path, p.payload))
            return fail_all("cannot write " + p.payload_path);
        std::vector<std::string> args{"--role", "bootloader", "--baud", std::to_string(c.baud),
                                      "--pace", "--once",     "--out",  p.dir + "/out"};
        for (auto& a : adapter_args(c.adapter_ms)) args.push_back(a);
        auto box = start_box(tools, args, p.dir + "/box.log", error);
        if (!box) return fail_all(error);
        p.box.emplace(std::move(*box));
    }

    // All loaders start together, as a technician starts the copies.
    std::vector<Watched> watched;
    for (int n = 1; n <= c.ports; ++n) {
        Port& p = ports[static_cast<std::size_t>(n - 1)];
        const std::string com = "COM" + std::to_string(n);
        if (!is_box_pty(p.box->slave))
            return fail_all(com + " would be " + p.box->slave + ", not the box's pseudo-terminal");
        Launch launch;
        launch.argv = {tools.velk2, "(" + com + "){" + p.payload_path + "}"};
        launch.env = loader_env(config);
        launch.env["VELK2_" + com] = p.box->slave;
        launch.cwd = p.dir;
        launch.pipe_stderr = true;
        auto loader = Child::start(launch, error);
        if (!loader) return fail_all(error);
        p.loader.emplace(std::move(*loader));
    }
    for (auto& p : ports) watched.push_back({&*p.loader, {}, {}});

    // A generous limit: twice the line time of the payload, plus the hand-shake.
    const double line_time = line_seconds(c.payload / 1024 + 1, c.baud);
    const auto limit =
        Clock::now() + std::chrono::seconds(static_cast<long long>(2 * line_time) + 60);
    const bool ended = watch_until_ended(watched, limit);
    std::vector<std::string> box_said;
    const Clock::time_point box_limit = Clock::now() + std::chrono::seconds(10);
    for (std::size_t i = 0; i < ports.size(); ++i) {
        box_said.push_back(finish_box(*ports[i].box, box_limit));
        write_file(ports[i].dir + "/loader.log",
                   stamped_text(watched[i].lines, ports[i].loader->started()));
    }
    if (!ended) return fail_all("time limit passed");
    for (std::size_t i = 0; i < ports.size(); ++i) {
        out.push_back(figures_of(c, ports[i], watched[i], box_said[i], baseline_kib));
    }
    return out;
}

} // namespace bench
