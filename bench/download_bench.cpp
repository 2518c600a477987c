// velk2-download-bench: one "Download from Box" on the real (Qt) platform,
// without the window on screen and without a person at the dialogs.
//
//   velk2-download-bench --port DEVICE
//
// The port text is used as the program uses any port text (one that starts
// with "/" is the device itself). The save dialog takes its answer from the
// file named by VELK2_DIALOG_ANSWERS; QT_QPA_PLATFORM=offscreen runs it
// without a display. The benchmark driver starts one process per case, so
// that the process's own CPU time and peak memory are the download's.

#include <QApplication>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "download/download_receive.h"
#include "platform/qt/qt_platform.h"
#include "session/context.h"
#include "shell/handlers.h"
#include "shell/main_window.h"
#include "shell/panel.h"
#include "shell/window_layout.h"
#include "shell/window_setup.h"

int main(int argc, char** argv) {
    std::string port;
    for (int i = 1; i + 1 < argc; i += 2)
        if (std::string(argv[i]) == "--port") port = argv[i + 1];
    if (port.empty()) {
        std::fprintf(stderr, "usage: velk2-download-bench --port DEVICE\n");
        return 2;
    }

    QApplication app(argc, argv);
    velk2::QtPlatform platform;
    velk2::Context ctx(platform);
    std::error_code ec;
    ctx.process.program_path = std::filesystem::absolute(argv[0], ec).string();
    ctx.process.current_dir = std::filesystem::current_path(ec).string();
    ctx.work_dir = ctx.process.current_dir + "/";
    ctx.com_port = port;
    try {
        velk2::create_window(ctx);
        velk2::wire_handlers(ctx);
        platform.attach(ctx.window);
        velk2::Win_1_Activate(ctx);
        velk2::cg1_Click(ctx);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velk2-download-bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
