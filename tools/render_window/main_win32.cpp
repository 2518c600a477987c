// Draws the loader's Windows window into a PNG without showing it, as a
// technician sees it after choosing a DSP file, or the station window in the
// middle of a run: for the README's pictures and for reviews of the layout.
// Usage: velk2-render-window [--station] OUT.png
#include <cstdio>
#include <string>

#include "platform/os_path.h"
#include "platform/win32/wic_picture.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/win32_window.h"
#include "session/context.h"
#include "shell/main_window.h"
#include "shell/panel.h"
#include "shell/startup.h"
#include "shell/window_layout.h"
#include "shell/window_setup.h"
#include "station/station_window.h"
#include "station_sample.h"

#include <shellapi.h>

int main() {
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
    const bool station = words && count == 3 && lstrcmpW(words[1], L"--station") == 0;
    if (!words || (!station && (count != 2 || words[1][0] == L'-'))) {
        std::fprintf(stderr, "usage: velk2-render-window [--station] OUT.png\n");
        return 2;
    }
    const std::string out = velk2::narrow(words[count - 1]);
    LocalFree(words);

    velk2::Win32Platform platform;
    if (station) {
        velk2::Window window;
        velk2::update_station_window(window, velk2::sample_station(true));
        platform.attach(window);
        const velk2::OwnedBitmap picture = platform.window()->render();
        return picture && velk2::save_bitmap_png(picture.get(), out) ? 0 : 1;
    }

    velk2::Context ctx(platform);
    ctx.process.program_path = "C:\\VELK2\\VELK_(COM1).exe";
    velk2::create_window(ctx);
    velk2::wire_handlers(ctx);
    platform.attach(ctx.window);

    ctx.exe_name = "VELK_(COM1).exe";
    ctx.com_port = "COM1";
    ctx.upload_file = "C:\\firmware\\R3e558zu.dsp";
    ctx.window.title = velk2::main_title();
    velk2::Win_1_Activate(ctx);
    ctx.report->enable(velk2::Button::upload, true);
    ctx.report->port_state("COM1 (CLOSED)");
    ctx.report->file_length(1572864);
    const velk2::OwnedBitmap picture = platform.window()->render();
    return picture && velk2::save_bitmap_png(picture.get(), out) ? 0 : 1;
}
