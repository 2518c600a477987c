// Wires the Win32 platform to the program and runs it.
#include <filesystem>
#include <string>
#include <vector>

#include "platform/os_path.h"
#include "platform/win32/end_events.h"
#include "platform/win32/win32_api.h"
#include "platform/win32/win32_platform.h"
#include "session/context.h"
#include "shell/command_line_help.h"
#include "shell/startup.h"
#include "shell/windows_usage.h"

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

// Text for the one who asked: standard output when the program was given
// one (a pipe, a file, wine), else the console it was started from.
bool print(const std::string& text) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD written = 0;
    if (out && out != INVALID_HANDLE_VALUE)
        return WriteFile(out, text.data(), DWORD(text.size()), &written, nullptr) != 0;
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return false;
    const velk2::OwnedHandle console(CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE,
                                                 nullptr, OPEN_EXISTING, 0, nullptr));
    const std::wstring wide = velk2::widen(text);
    return console.get() != INVALID_HANDLE_VALUE &&
           WriteConsoleW(console.get(), wide.data(), DWORD(wide.size()), &written, nullptr);
}

} // namespace

int main() {
    const std::vector<std::string> args = arguments();
    if (const auto request = velk2::info_request(args)) {
        if (*request == velk2::InfoRequest::help) return print(velk2::windows_usage_text()) ? 0 : 1;
        if (*request == velk2::InfoRequest::version) return print(velk2::version_text()) ? 0 : 1;
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
