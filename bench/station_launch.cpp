#include "station_launch.h"

#include <filesystem>

#include "line_watch.h"

namespace bench {

std::string start_boxes(const Tools& tools, StationRig& rig, int ports,
                        const std::vector<std::string>& box_args) {
    for (int n = 1; n <= ports; ++n) {
        const std::string out = rig.dir + "/box" + std::to_string(n);
        std::filesystem::create_directories(out);
        std::vector<std::string> args = box_args;
        args.insert(args.end(), {"--out", out});
        std::string error;
        auto box = start_box(tools, args, out + ".log", error);
        if (!box) return error;
        if (!is_box_pty(box->slave))
            return "box " + std::to_string(n) + " gave " + box->slave + ", not a pseudo-terminal";
        rig.boxes.push_back(std::move(*box));
    }
    return {};
}

std::string start_station(const Tools& tools, StationRig& rig, const std::string& file,
                          std::optional<int> count) {
    Launch launch;
    launch.argv = {tools.velk2, "--station", "--no-window", "--file", file};
    if (count) launch.argv.insert(launch.argv.end(), {"--count", std::to_string(*count)});
    for (const Box& box : rig.boxes) launch.argv.push_back(box.slave);
    launch.env = loader_env(rig.dir + "/config");
    launch.env["XDG_DATA_HOME"] = rig.dir + "/data";
    launch.env["HOME"] = rig.dir + "/home";
    for (int n = 1; n <= 16; ++n)
        launch.env["VELK2_COM" + std::to_string(n)] = rig.dir + "/no-such-port";
    for (const char* sub : {"/config", "/data", "/home"})
        std::filesystem::create_directories(rig.dir + sub);
    launch.cwd = rig.dir;
    launch.pipe_stdout = true;
    // Its diagnostics and its workers' last words: a file, as nobody reads them meanwhile.
    launch.stderr_file = rig.dir + "/station.err";
    std::string error;
    auto station = Child::start(launch, error);
    if (!station) return error;
    rig.station.emplace(std::move(*station));
    return {};
}

void read_station_output(StationRig& rig) {
    if (rig.station) rig.output += rest_of_output(*rig.station);
}

std::size_t lines_ending_with(const StationRig& rig, const std::string& text) {
    std::size_t count = 0;
    for (std::size_t at = 0; at < rig.output.size();) {
        const std::size_t nl = rig.output.find('\n', at);
        if (nl == std::string::npos) break;
        if (nl - at >= text.size() && rig.output.compare(nl - text.size(), text.size(), text) == 0)
            ++count;
        at = nl + 1;
    }
    return count;
}

std::string flash_log_of(const StationRig& rig) {
    return rig.dir + "/data/VELK2/flash-log.csv";
}

} // namespace bench
