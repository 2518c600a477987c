// The simulator's command line.
#pragma once

#include "bootloader_role.h"
#include "monitor_role.h"
#include "sender_role.h"
#include "workshop_role.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace boxsim {

enum class RoleKind { bootloader, sender, monitor };

struct Preload {
    std::uint32_t address = 0;
    std::string path;
};

struct Options {
    RoleKind role = RoleKind::bootloader;
    int baud = 0;       // the box's (start) rate
    std::string device; // empty: a new pseudo-terminal
    bool pace = false;
    std::chrono::milliseconds adapter_latency{0}; // 0: no adapter
    std::string out_dir = ".";
    std::string file; // sender: the file to send
    std::vector<Preload> preloads;
    std::string dump; // monitor: memory dump written on exit
    bool once = false;
    std::chrono::seconds timeout{600};
    BootloaderFaults bootloader_faults;
    SenderFaults sender_faults;
    MonitorFaults monitor_faults;
    std::vector<std::string> fault_texts; // as given, for the log
    WorkshopPlan workshop;                // bootloader: boxes that come and go
    bool number_files = false;            // bootloader: the k-th file saved as "k-NAME"
    bool help = false;
};

struct ParsedOptions {
    std::optional<Options> options;
    std::string error; // set when options is empty
};

ParsedOptions parse_options(const std::vector<std::string_view>& args);

// The usage text for --help and for errors.
std::string usage_text();

// Seconds with up to three decimals ("2", "0.5", "1.25"), at most a day.
std::optional<std::chrono::milliseconds> parse_seconds(std::string_view text);

// "\xNN" and "\\" in a fault's text, so that control bytes can be given.
std::optional<std::string> unescape(std::string_view text);

} // namespace boxsim
