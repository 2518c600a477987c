// Draws the loader's window offscreen into a PNG, as a technician sees it
// after choosing a DSP file, or the station window in the middle of a run:
// for the README's pictures and for reviews of the layout.
// Usage: velk2-render-window [--station] OUT.png
#include <QApplication>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/qt/qt_platform.h"
#include "platform/qt/render_png.h"
#include "session/context.h"
#include "shell/main_window.h"
#include "shell/panel.h"
#include "shell/startup.h"
#include "shell/window_layout.h"
#include "shell/window_setup.h"
#include "station/station_window.h"
#include "station_sample.h"

int main(int argc, char** argv) {
    const bool station = argc == 3 && std::strcmp(argv[1], "--station") == 0;
    if (!station && (argc != 2 || argv[1][0] == '-')) {
        std::fprintf(stderr, "usage: %s [--station] OUT.png\n", argv[0]);
        return 2;
    }
    const std::string out = argv[argc - 1];
    QApplication app(argc, argv);
    if (station) {
        velk2::Window window;
        velk2::update_station_window(window, velk2::sample_station(false));
        return velk2::render_window_png(window, out) ? 0 : 1;
    }
    velk2::QtPlatform platform;
    velk2::Context ctx(platform);
    ctx.process.program_path = "/opt/velk2/VELK_(COM1)";
    velk2::create_window(ctx);
    velk2::wire_handlers(ctx);
    platform.attach(ctx.window);

    ctx.exe_name = "VELK_(COM1)";
    ctx.com_port = "COM1";
    ctx.upload_file = "/home/tech/firmware/R3e558zu.dsp";
    ctx.window.title = velk2::main_title();
    velk2::Win_1_Activate(ctx);
    // The window is up, and its activation has redrawn the panel, before the
    // file selection writes its fields.
    platform.process_events();
    ctx.report->enable(velk2::Button::upload, true);
    ctx.report->port_state("COM1 (CLOSED)");
    ctx.report->file_length(1572864);
    platform.process_events();
    return velk2::render_window_png(ctx.window, out) ? 0 : 1;
}
