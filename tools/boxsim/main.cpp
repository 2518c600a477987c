// velk2-boxsim: plays the set-top box on a pseudo-terminal or a serial device.
// Usage in README.md beside this file.

#include "bootloader_role.h"
#include "file_io.h"
#include "line.h"
#include "memory_model.h"
#include "monitor_role.h"
#include "options.h"
#include "sender_role.h"
#include "serve_loop.h"
#include "workshop_role.h"

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace boxsim;

constexpr int exit_usage = 2;

void note(const std::string& text) {
    std::fprintf(stderr, "boxsim %s\n", text.c_str());
}

std::string base_name(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::unique_ptr<Role> make_role(const Options& options, std::string& error) {
    switch (options.role) {
    case RoleKind::bootloader:
        if (options.workshop.active())
            return std::make_unique<WorkshopRole>(options.baud, options.bootloader_faults,
                                                  options.workshop);
        return std::make_unique<BootloaderRole>(options.baud, options.bootloader_faults);
    case RoleKind::sender: {
        auto data = read_whole_file(options.file);
        if (!data) {
            error = "cannot read " + options.file;
            return nullptr;
        }
        return std::make_unique<SenderRole>(options.baud, base_name(options.file), std::move(*data),
                                            options.sender_faults);
    }
    case RoleKind::monitor: {
        MemoryModel memory;
        for (const auto& preload : options.preloads) {
            const auto bytes = read_whole_file(preload.path);
            if (!bytes) {
                error = "cannot read " + preload.path;
                return nullptr;
            }
            memory.write(preload.address, *bytes);
        }
        return std::make_unique<MonitorRole>(options.baud, std::move(memory),
                                             options.monitor_faults);
    }
    }
    return nullptr;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const ParsedOptions parsed = parse_options(args);
    if (!parsed.options) {
        std::fprintf(stderr, "velk2-boxsim: %s\n\n%s", parsed.error.c_str(), usage_text().c_str());
        return exit_usage;
    }
    const Options& options = *parsed.options;
    if (options.help) {
        std::printf("%s", usage_text().c_str());
        return exit_ok;
    }

    // Stop signals stay pending until the serve loop looks for them, so that
    // the loop ends between two steps and the dump is still written.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    sigaddset(&stop_signals, SIGHUP);
    sigprocmask(SIG_BLOCK, &stop_signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::string error;
    const auto role = make_role(options, error);
    if (!role) {
        std::fprintf(stderr, "velk2-boxsim: %s\n", error.c_str());
        return exit_line_failed;
    }
    const auto line = options.device.empty()
                          ? Line::open_pty(error)
                          : Line::open_device(options.device, options.baud, error);
    if (!line) {
        std::fprintf(stderr, "velk2-boxsim: %s\n", error.c_str());
        return exit_line_failed;
    }
    if (line->simulated()) {
        std::printf("%s\n", line->path().c_str());
        std::fflush(stdout);
    }
    for (const auto& fault : options.fault_texts) note("fault: " + fault);

    ServeSettings settings;
    settings.pace = options.pace;
    settings.adapter_latency = options.adapter_latency;
    settings.once = options.once;
    settings.run_limit = options.timeout;
    settings.out_dir = options.out_dir;
    settings.number_files = options.number_files;
    const int status = serve(*line, *role, settings, stop_signals);

    if (!options.dump.empty()) {
        const auto* monitor = dynamic_cast<const MonitorRole*>(role.get());
        if (monitor && !write_whole_file(options.dump, dump_text(monitor->memory()))) {
            std::fprintf(stderr, "velk2-boxsim: cannot write %s\n", options.dump.c_str());
            return exit_line_failed;
        }
    }
    return status;
}
