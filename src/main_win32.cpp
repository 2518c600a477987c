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

} // namespace

int main() {
    const std::vector<std::string> args = arguments();
    // The station's per-port worker: no window, no window class, nothing on
    // screen; its lines go to the standard handles the station gave it.
    if (velk2::worker_requested(args))
        return velk2::worker_main(args, velk2::read_registry_setting);
    // The options alone print for whoever started the program and exit.
    if (const auto request = velk2::info_request(args)) {
        const std::string text =
            *request == velk2::InfoRequest::help      ? velk2::windows_usage_text()
            : *request == velk2::InfoRequest::version ? velk2::version_text()
                                                      : velk2::com_ports_text(velk2::com_port_devices(
                                                            velk2::read_com_port_records()));
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
