// Shared by the fuzz targets: a reader over the fuzz input, a failed check
// that stops the fuzzer with a report, and the program's context on the
// headless platform, in a folder of its own that every run starts empty.
#pragma once

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdlib.h>
#include <string>

#include "platform/headless.h"
#include "session/context.h"
#include "shell/handlers.h"
#include "shell/main_window.h"
#include "shell/panel.h"
#include "shell/window_layout.h"
#include "shell/window_setup.h"

namespace velk2::fuzz {

// Bytes taken from the front; a used-up input reads as zeros.
struct Input {
    const std::uint8_t* at;
    std::size_t left;

    bool empty() const { return left == 0; }
    std::uint8_t byte() { return left ? (--left, *at++) : 0; }
    std::string bytes(std::size_t n) {
        n = n < left ? n : left;
        std::string s(reinterpret_cast<const char*>(at), n);
        at += n;
        left -= n;
        return s;
    }
};

inline void check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "check failed: %s\n", what);
    std::abort();
}

// The user holds the right mouse button down from `abort_from_us` on, seen
// also by loops that run no events.
struct FuzzPlatform : HeadlessPlatform {
    std::int64_t abort_from_us = INT64_MAX;
    int mouse_buttons() override { return now_us() >= abort_from_us ? 2 : mouse; }
};

// The process's own folder, emptied for every run; removed when the fuzzer
// ends normally.
inline const std::string& fresh_dir() {
    static std::string dir;
    if (dir.empty()) {
        std::string pattern = std::filesystem::temp_directory_path() / "velk2-fuzz-XXXXXX";
        check(mkdtemp(pattern.data()) != nullptr, "no temporary folder");
        dir = pattern;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(dir, ec);
        });
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        std::filesystem::remove_all(entry.path());
    return dir;
}

// A service-mode window on COM1, its line scripted by the target; the
// program's files go to the fresh folder.
struct Bench {
    std::string dir = fresh_dir();
    FuzzPlatform platform;
    Context ctx{platform};
    HeadlessLine& line = platform.add_line("COM1");

    Bench() {
        ctx.service_mode = true;
        ctx.process.program_path = "/opt/velk2/VELK_(COM1).exe";
        ctx.process.current_dir = dir;
        ctx.work_dir = dir + "/";
        ctx.com_port = "COM1";
        create_window(ctx);
        wire_handlers(ctx);
        platform.attach(ctx.window);
        Win_1_Activate(ctx);
    }
};

} // namespace velk2::fuzz
