// Shared set-up of the headless tests: a private working directory and a
// program context on the headless platform with its window created.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#ifdef _WIN32
#include <atomic>
#include <process.h>
#else
#include <unistd.h>
#endif

#include "platform/headless.h"
#include "platform/os_path.h"
#include "session/context.h"
#include "session/files.h"
#include "shell/handlers.h"
#include "shell/main_window.h"
#include "shell/panel.h"
#include "shell/window_layout.h"
#include "shell/window_setup.h"

namespace velk2::test {

// A fresh directory, removed with everything in it when the object goes. The
// current directory stays as it was: the program's files go to ctx.work_dir.
class TempDir {
  public:
    TempDir() {
#ifdef _WIN32
        static std::atomic<int> made{0};
        const auto dir = std::filesystem::temp_directory_path() /
                         ("velk2-test-" + std::to_string(_getpid()) + "-" + std::to_string(++made));
        std::filesystem::create_directories(dir);
        path_ = path_text(dir);
#else
        char pattern[] = "/tmp/velk2-test-XXXXXX";
        path_ = mkdtemp(pattern);
#endif
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(os_path(path_), ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const {
        return path_;
    }
    std::string operator/(const std::string& name) const {
        return path_ + folder_separator + name;
    }

  private:
    std::string path_;
};

inline std::string read_file(const std::string& path) {
    std::ifstream f(os_path(path), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

inline void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream f(os_path(path), std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), std::streamsize(bytes.size()));
}

inline bool exists(const std::string& path) {
    return std::filesystem::exists(os_path(path));
}

// The program's context with its window, as start-up leaves it before the
// run configuration is applied; port COM1 on a scripted line.
struct Harness {
    TempDir dir;
    HeadlessPlatform platform;
    Context ctx{platform};
    HeadlessLine& line;

    // `service_mode` decides, as the build switch does, whether the window
    // gets the service buttons.
    explicit Harness(const std::string& port = "COM1", bool service_mode = VELK2_SERVICE_MODE)
        : line(platform.add_line(port)) {
        ctx.service_mode = service_mode;
        ctx.process.program_path = "/opt/velk2/VELK_(" + port + ").exe";
        ctx.process.current_dir = dir.path();
        ctx.work_dir = dir.path() + folder_separator;
        ctx.com_port = port;
        // Transfer tests put their payload straight into upload_data.
        ctx.upload_ready = true;
        create_window(ctx);
        wire_handlers(ctx);
        platform.attach(ctx.window);
        Win_1_Activate(ctx);
    }

    // The text of `width` panel cells from (column, row).
    std::string field(int column, int row, int width) const {
        return ctx.window.row_text(row, column, width);
    }
};

} // namespace velk2::test
