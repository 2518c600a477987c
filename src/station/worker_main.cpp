#include "station/worker_main.h"

#include <filesystem>

#include "platform/console_platform.h"
#include "platform/os_path.h"
#include "session/context.h"
#include "session/files.h"
#include "shell/window_setup.h"
#include "station/worker_run.h"

namespace velk2 {

int worker_main(const std::vector<std::string>& args, const WorkerSettings& settings) {
    ConsolePlatform platform(settings);
    Context ctx(platform);
    std::error_code ec;
    ctx.process.current_dir = path_text(std::filesystem::current_path(ec));
    ctx.work_dir = ctx.process.current_dir + folder_separator;
    ctx.upload_ready = false;
    create_window(ctx);
    wire_handlers(ctx);
    platform.attach(ctx.window);

    WorkerIo io;
    io.read_input = [&platform](std::size_t n) { return platform.read_input(n); };
    io.write_line = [&platform](const std::string& line) { platform.write_output(line); };
    platform.on_message = [&io](const std::string& text) { io.last_message = text; };
    return run_worker(ctx, args, io);
}

} // namespace velk2
