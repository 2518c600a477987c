#include "station/station_run.h"

#include <algorithm>

#include "platform/durable_append.h"
#include "platform/timers.h"
#include "platform/wall_clock.h"
#include "session/files.h"
#include "station/station_layout.h"
#include "station/station_texts.h"
#include "station/station_window.h"

namespace velk2 {

StationSetup station_setup(const StationOptions& options, const StationSources& sources) {
    const StationPorts ports = station_ports(options.ports, sources.setting);
    std::vector<StationPort> rows;
    for (const std::string& name : ports.ports) {
        const PortMapping m = sources.map_port(name);
        // A name that leads nowhere opens nothing: its worker says why.
        rows.push_back({name, m.problem.empty() ? m.device : ""});
    }
    StationSetup out{make_station_state(rows), {}};
    if (!ports.problem.empty()) out.notes.push_back("Ports: " + ports.problem);
    const QuietTime quiet = station_quiet(sources.setting);
    out.state.quiet_s = quiet.seconds;
    if (!quiet.problem.empty()) out.notes.push_back(quiet.problem);
    out.state.count = options.count;
    const LogPath log = flash_log_path(sources.env);
    out.state.log_path = log.path;
    out.state.log_problem = log.problem;
    return out;
}

StationServices native_station_services(const std::string& program) {
    StationServices s;
    s.program = program;
    s.start_child = start_child;
    s.append = append_durably;
    s.now_ms = steady_ms;
    s.local_time = station_local_time;
    return s;
}

StationWaiting platform_waiting(Platform& platform) {
    return {[&platform] { return platform.monotonic_ms(); },
            [&platform](std::int64_t until_ms) {
                try {
                    platform.pause(
                        int(std::max<std::int64_t>(0, until_ms - platform.monotonic_ms())));
                    return 0;
                } catch (const Interrupted& end) {
                    return end.signal;
                }
            }};
}

namespace {

// Rounds at a steady pace until the station has finished; the first end
// signal stops it. The end signal's number, or 0.
int rounds_until_idle(StationSupervisor& station, const StationWaiting& waiting, int signal,
                      bool (*done)(const StationSupervisor&)) {
    std::int64_t next = waiting.now_ms();
    while (!done(station)) {
        next = std::max(next + station_tick_ms, waiting.now_ms());
        if (const int s = waiting.sleep_until(next); s && !signal) {
            signal = s;
            station.stop();
        }
        station.tick();
    }
    return signal;
}

void choose_file(StationSupervisor& station, Platform& platform) {
    FileDialogRequest request;
    request.title = "Select DSP or JPG file";
    const std::string& current = station.state().file.path;
    if (const auto p = last_separator(current); p != std::string::npos) {
        request.folder = current.substr(0, p + 1);
        request.default_name = current.substr(p + 1);
    }
    request.pattern = station_file_pattern;
    const std::string chosen = platform.file_dialog(request, false);
    if (!chosen.empty()) station.set_file(prepare_station_file(chosen, true));
}

// The model brought up to the station, and the handlers bound to the
// controls of a model built anew.
void refresh(Window& window, StationSupervisor& station, Platform& platform) {
    update_station_window(window, station.state());
    if (window.find(station_tick_timer)) return;
    const auto after = [&window, &station, &platform](void (*what)(StationSupervisor&, Platform&)) {
        return [&window, &station, &platform, what] {
            what(station, platform);
            refresh(window, station, platform);
        };
    };
    window.get(station_control::file_select).on_click = after(choose_file);
    window.get(station_control::start).on_click =
        after([](StationSupervisor& s, Platform&) { s.state().running() ? s.stop() : s.start(); });
    window.add(holder_control(station_tick_timer, ControlKind::timer)).on_tick =
        after([](StationSupervisor& s, Platform&) { s.tick(); });
    timer_set_interval(window, station_tick_timer, station_tick_ms, platform.monotonic_ms());
    timer_switch(window, station_tick_timer, true, platform.monotonic_ms());
    window.on_close = [&station] { station.stop(); };
}

} // namespace

int run_station_without_window(const StationOptions& options, const StationSources& sources,
                               StationServices services, const StationWaiting& waiting) {
    StationSetup setup = station_setup(options, sources);
    for (const std::string& note : setup.notes) services.message(note);
    const auto print = services.print;
    StationSupervisor station(std::move(setup.state), std::move(services));
    station.set_file(prepare_station_file(options.file));
    station.start();
    rounds_until_idle(station, waiting, 0,
                      [](const StationSupervisor& s) { return s.finished().has_value(); });
    const std::string summary = station_summary(station.state());
    for (std::size_t at = 0; at < summary.size();) {
        const std::size_t end = summary.find('\n', at);
        print(summary.substr(at, end - at));
        at = end == std::string::npos ? summary.size() : end + 1;
    }
    return *station.finished();
}

int run_station_window(const StationOptions& options, const StationSources& sources,
                       StationServices services, Platform& platform, Window& window) {
    StationSetup setup = station_setup(options, sources);
    for (const std::string& note : setup.notes)
        setup.state.message += (setup.state.message.empty() ? "" : "; ") + note;
    StationSupervisor station(std::move(setup.state), std::move(services));
    if (!options.file.empty()) station.set_file(prepare_station_file(options.file));
    refresh(window, station, platform);
    platform.attach(window);
    int signal = 0;
    try {
        while (platform.wait_event()) {
        }
    } catch (const Interrupted& end) {
        signal = end.signal;
        station.stop();
    }
    // The window is gone (or no event runs any more): the workers end in
    // their own time, a worker that does not is killed after the grace time.
    signal = rounds_until_idle(station, platform_waiting(platform), signal,
                               [](const StationSupervisor& s) { return !s.state().running(); });
    return signal ? 128 + signal : 0;
}

} // namespace velk2
