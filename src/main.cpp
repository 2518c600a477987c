// Wires the Qt platform to the program and runs it.
#include <QApplication>
#include <QIcon>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/console_signals.h"
#include "platform/device_names.h"
#include "platform/port_listing.h"
#include "platform/qt/mouse_state.h"
#include "platform/qt/qt_platform.h"
#include "platform/qt/qt_settings.h"
#include "platform/wall_clock.h"
#include "session/context.h"
#include "shell/command_line_help.h"
#include "shell/startup.h"
#include "station/station_run.h"
#include "station/worker_main.h"

namespace {

namespace fs = std::filesystem;

// argv[0] as an absolute path, symbolic links kept: a link named
// VELK_(COM7) must select COM7.
std::string program_path(const char* argv0) {
    std::string a = argv0 ? argv0 : "velk2";
    if (a.find('/') == std::string::npos) {
        if (const char* path = std::getenv("PATH")) {
            std::string dirs = path;
            std::size_t start = 0;
            while (start <= dirs.size()) {
                std::size_t end = dirs.find(':', start);
                if (end == std::string::npos) end = dirs.size();
                fs::path candidate = fs::path(dirs.substr(start, end - start)) / a;
                std::error_code ec;
                if (fs::is_regular_file(candidate, ec)) return fs::absolute(candidate, ec).string();
                start = end + 1;
            }
        }
    }
    std::error_code ec;
    return fs::absolute(a, ec).lexically_normal().string();
}

// `velk2 --ports`: nothing is opened for the mapping, and the listing never
// writes to a device. VELK2_DEVICE_ROOT stands for "/" when it is set (the
// tests list a prepared folder instead of the machine's devices).
std::string ports_report() {
    std::vector<velk2::PortLine> ports;
    const auto setting = [](const std::string& key) {
        return velk2::read_ini_setting("PORTS", key);
    };
    const std::string root = velk2::process_env("VELK2_DEVICE_ROOT").value_or("");
    for (int n = 1; n <= 8; ++n) {
        const std::string port = "COM" + std::to_string(n);
        const auto m = velk2::map_port_name(port, velk2::process_env, setting);
        velk2::PortLine line{port, m, velk2::device_present(m.device), {}};
        if (m.problem.empty() && line.present) velk2::read_access_facts(root, m.device, line.facts);
        ports.push_back(line);
    }
    return velk2::ports_text(velk2::serial_devices(root), ports, velk2::settings_file_path());
}

// The sole arguments that print and exit, and an option we do not have;
// nullopt for a run.
std::optional<int> info_command(int argc, char** argv) {
    std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
    if (const auto refusal = velk2::unknown_option_text(args)) {
        std::fwrite(refusal->data(), 1, refusal->size(), stderr);
        return velk2::unknown_option_status;
    }
    const auto request = velk2::info_request(args);
    if (!request) return std::nullopt;
    const std::string text = *request == velk2::InfoRequest::help      ? velk2::usage_text()
                             : *request == velk2::InfoRequest::version ? velk2::version_text()
                                                                       : ports_report();
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

// ---------------------------------------------------------------- station

void write_line(std::FILE* to, const std::string& line) {
    const std::string text = line + "\n";
    std::fwrite(text.data(), 1, text.size(), to);
    std::fflush(to);
}

// Settings and devices as the main window maps them, without a display.
velk2::StationSources ini_sources() {
    return {[](const std::string& key) { return velk2::read_ini_setting("STATION", key); },
            [](const std::string& port) {
                return velk2::map_port_name(port, velk2::process_env, [](const std::string& key) {
                    return velk2::read_ini_setting("PORTS", key);
                });
            },
            velk2::process_env};
}

// The icon of the desktop entry, so that the window and its launcher match.
void show_app_icon() {
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/velk2/velk2.png")));
    QGuiApplication::setDesktopFileName(QStringLiteral("velk2"));
}

// `velk2 --station ...`: the flashing station, with its window or, for a
// production script, without one (no display needed).
int station_main(int argc, char** argv, const std::string& program) {
    const velk2::StationCommand command =
        velk2::station_command(std::vector<std::string>(argv + 1, argv + argc));
    if (!command.problem.empty()) {
        std::fputs(("velk2: " + command.problem + "\n" + velk2::usage_text()).c_str(), stderr);
        return velk2::station_usage_status;
    }
    velk2::StationServices services = velk2::native_station_services(program);
    if (!command.options.window) {
        velk2::ConsoleSignals end_signals;
        services.print = [](const std::string& line) { write_line(stdout, line); };
        services.message = [](const std::string& line) { write_line(stderr, line); };
        const velk2::StationWaiting waiting{velk2::steady_ms, [&end_signals](std::int64_t until) {
                                                return end_signals.sleep_until(until);
                                            }};
        return velk2::run_station_without_window(command.options, ini_sources(), services, waiting);
    }
    velk2::prefer_x11_platform();
    QApplication app(argc, argv);
    show_app_icon();
    velk2::QtPlatform platform;
    const velk2::StationSources sources{
        [&platform](const std::string& key) { return platform.read_setting("STATION", key); },
        [&platform](const std::string& port) { return platform.map_port(port); },
        velk2::process_env};
    velk2::Window window;
    return velk2::run_station_window(command.options, sources, services, platform, window);
}

} // namespace

int main(int argc, char** argv) {
    // The station's per-port worker needs no display: before any QApplication.
    if (argc > 1 && std::string(argv[1]) == "--worker")
        return velk2::worker_main(std::vector<std::string>(argv + 1, argv + argc),
                                  velk2::read_ini_setting);
    const std::string path = program_path(argc > 0 ? argv[0] : nullptr);
    if (velk2::station_requested(std::vector<std::string>(argv + std::min(argc, 1), argv + argc)))
        return station_main(argc, argv, path);
    if (auto status = info_command(argc, argv)) return *status;
    velk2::prefer_x11_platform();
    QApplication app(argc, argv);
    show_app_icon();
    velk2::QtPlatform platform;
    velk2::Context ctx(platform);
    ctx.process.program_path = path;
    for (int i = 1; i < argc; ++i) ctx.process.args.emplace_back(argv[i]);
    std::error_code ec;
    ctx.process.current_dir = fs::current_path(ec).string();
    return velk2::run_program(ctx);
}
