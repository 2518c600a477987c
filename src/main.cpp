// Wires the Qt platform to the program and runs it.
#include <QApplication>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/qt/mouse_state.h"
#include "platform/qt/qt_platform.h"
#include "session/context.h"
#include "shell/startup.h"

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

} // namespace

int main(int argc, char** argv) {
    const std::string path = program_path(argc > 0 ? argv[0] : nullptr);
    velk2::prefer_x11_platform();
    QApplication app(argc, argv);
    velk2::QtPlatform platform;
    velk2::Context ctx(platform);
    ctx.process.program_path = path;
    for (int i = 1; i < argc; ++i) ctx.process.args.emplace_back(argv[i]);
    std::error_code ec;
    ctx.process.current_dir = fs::current_path(ec).string();
    return velk2::run_program(ctx);
}
