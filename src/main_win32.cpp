// Wires the Win32 platform to the program and runs it.
#include <filesystem>
#include <string>
#include <vector>

#include "platform/com_ports.h"
#include "platform/os_path.h"
#include "platform/win32/console_text.h"
#include "platform/win32/end_events.h"
#include "platform/win32/registry_settings.h"
#include "platform/win32/win32_api.h"
#include "platform/win32/win32_platform.h"
#include "session/context.h"
#include "shell/command_line_help.h"
#include "shell/startup.h"
#include "shell/windows_usage.h"
#include "station/station_run.h"
#include "station/worker_main.h"
#include "station/worker_run.h"

#include <shellapi.h>

namespace {

// The full path of the running program file, as Windows names it.
std::string program_path() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (n < path.size()) {
            path.resize(n);
            return velk2::narrow(path);
        }
        path.resize(path.size() * 2);
    }
}

// The arguments after the program's own path, split as Windows programs split
// their command line. Only the options read them: the start-up reads the
// line itself, quotes and all.
std::vector<std::string> arguments() {
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!words) return args;
    for (int i = 1; i < count; ++i) args.push_back(velk2::narrow(words[i]));
    LocalFree(words);
    return args;
}

// ---------------------------------------------------------------- station

// Lines for the standard handle the program was given (a console, a pipe, a
// file), with Windows line ends; a program started from Explorer has none,
// and they go nowhere.
void write_lines(DWORD which, const std::string& text) {
    const HANDLE h = GetStdHandle(which);
    if (!h || h == INVALID_HANDLE_VALUE) return;
    if (which == STD_OUTPUT_HANDLE) {
        velk2::write_to_caller(text, "VELK2");
        return;
    }
    std::string bytes;
    for (char c : text) bytes += c == '\n' ? std::string("\r\n") : std::string(1, c);
    DWORD written = 0;
    WriteFile(h, bytes.data(), DWORD(bytes.size()), &written, nullptr);
}

// `velk2.exe --station ...`: the flashing station, with its window or, for
// a production script, without one.
int station_main(const std::vector<std::string>& args) {
    const velk2::StationCommand command = velk2::station_command(args);
    if (!command.problem.empty()) {
        write_lines(STD_ERROR_HANDLE,
                    "velk2: " + command.problem + "\n" + velk2::windows_usage_text());
        return velk2::station_usage_status;
    }
    velk2::StationServices services = velk2::native_station_services(program_path());
    velk2::Win32Platform platform;
    const velk2::StationSources sources{
        [&platform](const std::string& key) { return platform.read_setting("STATION", key); },
        [&platform](const std::string& port) { return platform.map_port(port); },
        velk2::process_env};
    int status = 0;
    if (!command.options.window) {
        services.print = [](const std::string& line) {
            write_lines(STD_OUTPUT_HANDLE, line + "\n");
        };
        services.message = [](const std::string& line) {
            write_lines(STD_ERROR_HANDLE, line + "\n");
        };
        status = velk2::run_station_without_window(command.options, sources, services,
                                                   velk2::platform_waiting(platform));
    } else {
        velk2::Window window;
        status = velk2::run_station_window(command.options, sources, services, platform, window);
    }
    velk2::EndEvents::finished();
    return status;
}

} // namespace

int main() {
    const std::vector<std::string> args = arguments();
    // The station's per-port worker: no window, no window class, nothing on
    // screen; its lines go to the standard handles the station gave it.
    if (velk2::worker_requested(args))
        return velk2::worker_main(args, velk2::read_registry_setting);
    if (velk2::station_requested(args)) return station_main(args);
    // The options alone print for whoever started the program and exit.
    if (const auto request = velk2::info_request(args)) {
        const std::string text =
            *request == velk2::InfoRequest::help ? velk2::windows_usage_text()
            : *request == velk2::InfoRequest::version
                ? velk2::version_text()
                : velk2::com_ports_text(velk2::com_port_devices(velk2::read_com_port_records()));
        return velk2::write_to_caller(text, "VELK2") ? 0 : 1;
    }
    velk2::Win32Platform platform;
    velk2::Context ctx(platform);
    ctx.process.program_path = program_path();
    ctx.process.args = args;
    ctx.process.command_line = velk2::narrow(GetCommandLineW());
    std::error_code ec;
    ctx.process.current_dir = velk2::path_text(std::filesystem::current_path(ec));
    const int status = velk2::run_program(ctx);
    velk2::EndEvents::finished();
    return status;
}
