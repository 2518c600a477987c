// The station without a window as a production script runs it: the file
// prepared from disk, scripted workers, a virtual clock, the end signal, and
// what the run prints, records and returns.
#include "station/station_run.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/headless.h"
#include "platform/scripted_child.h"
#include "station/sha256.h"
#include "station/station_layout.h"
#include "station_script.h"
#include "support/harness.h"

namespace velk2 {
namespace {

struct ChildAct {
    std::int64_t ms;
    int child; // in the order of their start
    // A line for its standard output; "!exit N" or "!signal N" ends it;
    // "!err TEXT" writes a line to its standard error.
    std::string what;
};

struct Case {
    const char* name;
    std::vector<std::string> ports;
    std::vector<ChildAct> acts;
    std::vector<std::string> children; // "COM1 q0 closed killed" per start
    std::vector<std::string> output;   // printed lines, "record ..." and "! message"
    int exit_status;
    std::optional<int> count = {};
    std::int64_t signal_ms = -1; // SIGTERM then
    bool log_fails = false;
    const char* refuse_first_start = nullptr;
};

const std::string pts1 = "waiting /dev/pts/1", pts2 = "waiting /dev/pts/2",
                  pts3 = "waiting /dev/pts/3";

// Children without a scripted act left end when their input closes.
const Case cases[] = {
    {.name = "a worker that dies without a result: a failed row with its exit status, "
             "a new worker waits out the quiet first",
     .ports = {"COM1"},
     .acts = {{100, 0, pts1},
              {1000, 0, "flashing 0 7 230400"},
              {2000, 0, "!err box gone"},
              {2000, 0, "!exit 3"},
              {3200, 1, "quiet"}},
     .children = {"COM1 q0", "COM1 q5 closed"},
     .output =
         {"COM1 waiting for a box", "COM1 flashing",
          "record 16:05:09 COM1 /dev/pts/1 failed 1.0: worker ended (exit status 3): box gone",
          "COM1 failed: worker ended (exit status 3): box gone (1.0 s, 0 bytes/s)",
          "COM1 remove the box", "COM1 stopped", "Station: 1 attempts, 0 done, 1 failed, 0 stopped",
          "COM1 /dev/pts/1: done 0, failed 1", "Flash log: $LOG"},
     .exit_status = 1,
     .signal_ms = 5000},

    {.name = "SIGTERM: every worker's input closed, a flash ends stopped, the run ends",
     .ports = {"COM1", "COM2", "COM3"},
     .acts = {{100, 0, pts1},
              {100, 1, pts2},
              {100, 2, pts3},
              {1000, 1, "flashing 0 7 230400"},
              {2300, 1, "result stopped 1.300 0"},
              {2300, 1, "!exit 1"}},
     .children = {"COM1 q0 closed", "COM2 q0 closed", "COM3 q0 closed"},
     .output = {"COM1 waiting for a box", "COM2 waiting for a box", "COM3 waiting for a box",
                "COM2 flashing", "COM1 stopped", "COM3 stopped",
                "record 16:05:09 COM2 /dev/pts/2 stopped 1.3", "COM2 stopped (1.3 s, 0 bytes/s)",
                "Station: 1 attempts, 0 done, 0 failed, 1 stopped",
                "COM1 /dev/pts/1: done 0, failed 0", "COM2 /dev/pts/2: done 0, failed 0, stopped 1",
                "COM3 /dev/pts/3: done 0, failed 0", "Flash log: $LOG"},
     .exit_status = 1,
     .signal_ms = 2000},

    {.name = "--count 2: two attempts done end the run with 0, the record before each result",
     .ports = {"COM1", "COM2", "COM3"},
     .acts = {{100, 0, pts1},
              {100, 1, pts2},
              {100, 2, pts3},
              {1000, 2, "flashing 0 7 230400"},
              {1500, 0, "flashing 0 7 230400"},
              {2000, 2, "result done 1.000 7"},
              {2500, 0, "result done 1.000 7"}},
     .children = {"COM1 q0 closed", "COM2 q0 closed", "COM3 q0 closed"},
     .output = {"COM1 waiting for a box", "COM2 waiting for a box", "COM3 waiting for a box",
                "COM3 flashing", "! 2 attempts begun: no port is armed again.", "COM1 flashing",
                "COM2 stopped", "record 16:05:09 COM3 /dev/pts/3 done 1.0",
                "COM3 done (1.0 s, 7 bytes/s)", "COM3 stopped",
                "record 16:05:09 COM1 /dev/pts/1 done 1.0", "COM1 done (1.0 s, 7 bytes/s)",
                "COM1 stopped", "Station: 2 attempts, 2 done, 0 failed, 0 stopped",
                "COM1 /dev/pts/1: done 1, failed 0", "COM2 /dev/pts/2: done 0, failed 0",
                "COM3 /dev/pts/3: done 1, failed 0", "Flash log: $LOG"},
     .exit_status = 0,
     .count = 2},

    {.name = "an unwritable log arms nothing",
     .ports = {"COM1", "COM2"},
     .acts = {},
     .children = {},
     .output = {"! Nothing armed: the flash log cannot be written: $LOG: Permission denied",
                "Station: 0 attempts, 0 done, 0 failed, 0 stopped",
                "COM1 /dev/pts/1: done 0, failed 0", "COM2 /dev/pts/2: done 0, failed 0",
                "Flash log: $LOG: Permission denied"},
     .exit_status = 1,
     .log_fails = true},

    {.name = "a worker that cannot be started: the row says why, a new one comes later",
     .ports = {"COM1"},
     .acts = {{5200, 1, pts1}},
     .children = {"COM1 q0", "COM1 q0 closed"},
     .output = {"COM1 failed: the worker cannot be started: no memory", "COM1 waiting for a box",
                "COM1 stopped", "Station: 0 attempts, 0 done, 0 failed, 0 stopped",
                "COM1 /dev/pts/1: done 0, failed 0", "Flash log: $LOG"},
     .exit_status = 0,
     .signal_ms = 6000,
     .refuse_first_start = "no memory"},
};

// A small DSP file on disk for the run to prepare.
struct FirmwareFile {
    FirmwareFile() { test::write_file(path, bytes); }
    test::TempDir folder;
    const std::string path = folder / "fw.dsp";
    const std::string bytes = std::string("FW\0\x01\xff\r\n", 7);
};

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

// The run's settings, its ports on /dev/pts/N, and a data folder for the log.
StationSources sources_for(const FirmwareFile& fw,
                           std::function<std::string(const std::string&)> setting) {
    return {std::move(setting),
            [](const std::string& port) {
                return PortMapping{"/dev/pts/" + port.substr(3), "test", ""};
            },
            [data_home = fw.folder / "data"](const std::string& name) {
                return name == "XDG_DATA_HOME" || name == "LOCALAPPDATA"
                           ? std::optional<std::string>(data_home)
                           : std::nullopt;
            }};
}

TEST(StationSupervisor, RunWithoutWindow) {
    const FirmwareFile fw;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedChildren children;
        std::int64_t now = 0;
        std::vector<std::string> output;
        StationOptions options;
        options.window = false;
        options.file = fw.path;
        options.ports = c.ports;
        options.count = c.count;
        const StationSources sources =
            sources_for(fw, [](const std::string&) { return std::string(); });
        StationServices services;
        services.program = "/opt/velk2";
        services.start_child = children.starter();
        services.append = [&](const std::string& path, const std::string&,
                              const std::string& line) {
            if (c.log_fails) return std::make_error_code(std::errc::permission_denied);
            if (!line.empty()) output.push_back("record " + test::record_gist(line));
            EXPECT_EQ(path, flash_log_path(sources.env).path);
            return std::error_code();
        };
        services.now_ms = [&] { return now; };
        services.local_time = [] { return LocalTime{2026, 12, 7, 16, 5, 9, 60}; };
        services.print = [&](const std::string& line) { output.push_back(line); };
        services.message = [&](const std::string& line) { output.push_back("! " + line); };
        if (c.refuse_first_start) children.refuse_next(c.refuse_first_start);

        std::size_t next_act = 0;
        const auto acts_left_for = [&](int child) {
            for (std::size_t i = next_act; i < c.acts.size(); ++i)
                if (c.acts[i].child == child) return true;
            return false;
        };
        const StationWaiting waiting{
            [&] { return now; },
            [&](std::int64_t until) {
                now = std::max(now, until);
                if (now > 60000) {
                    ADD_FAILURE() << "the run does not end";
                    return 15;
                }
                for (; next_act < c.acts.size() && c.acts[next_act].ms <= now; ++next_act) {
                    const ChildAct& a = c.acts[next_act];
                    if (std::size_t(a.child) >= children.started().size()) {
                        ADD_FAILURE() << "no child " << a.child << " at " << a.ms;
                        continue;
                    }
                    ChildScript& child = *children.started()[std::size_t(a.child)];
                    if (a.what.starts_with("!exit "))
                        child.end({false, std::stoi(a.what.substr(6))});
                    else if (a.what.starts_with("!signal "))
                        child.end({true, std::stoi(a.what.substr(8))});
                    else if (a.what.starts_with("!err "))
                        child.complain(a.what.substr(5) + "\n");
                    else
                        child.say(a.what + "\n");
                }
                for (std::size_t i = 0; i < children.started().size(); ++i) {
                    ChildScript& child = *children.started()[i];
                    if (child.input_closed && !child.ending && !acts_left_for(int(i)))
                        child.end({false, 0});
                }
                return c.signal_ms >= 0 && now >= c.signal_ms ? 15 : 0;
            }};
        const int status = run_station_without_window(options, sources, services, waiting);

        EXPECT_EQ(status, c.exit_status);
        std::vector<std::string> started;
        for (const auto& child : children.started()) {
            EXPECT_EQ(child->program, "/opt/velk2");
            // Every worker that ran was given the prepared bytes and nothing else.
            if (child->polls > 0) {
                EXPECT_EQ(child->input, fw.bytes);
            }
            const auto& args = child->arguments;
            const auto quiet = std::find(args.begin(), args.end(), "--quiet-first");
            ASSERT_TRUE(args.size() > 2 && quiet != args.end() && quiet + 1 != args.end());
            EXPECT_EQ(std::vector<std::string>(args.begin() + 2, args.begin() + 8),
                      (std::vector<std::string>{"--name", fw.path, "--size", "7", "--sha256",
                                                sha256_hex(fw.bytes)}));
            std::string line = args[1] + " q" + *(quiet + 1);
            if (child->input_closed) line += " closed";
            if (child->killed) line += " killed";
            started.push_back(line);
        }
        EXPECT_EQ(started, c.children);
        const std::string log = flash_log_path(sources.env).path;
        std::vector<std::string> expected;
        for (const std::string& line : c.output) expected.push_back(replace_all(line, "$LOG", log));
        EXPECT_EQ(output, expected);
    }
}

} // namespace
} // namespace velk2

namespace velk2 {
namespace {

std::string row_text(const Window& w, int row, const char* column) {
    return w.find(station_row_control(row, column))->text;
}

// The window on the headless platform: the file chosen in the dialog, Start,
// rows following their workers, Stop, and the window closed while a worker
// ignores its stop request: the run returns once that worker is killed.
TEST(StationSupervisor, Window) {
    const FirmwareFile fw;
    HeadlessPlatform platform;
    platform.settings[{"STATION", "PORTS"}] = "COM1,COM2";
    platform.file_answers = {fw.path};
    ScriptedChildren children;
    std::vector<std::string> records;
    const StationSources sources = sources_for(
        fw, [&](const std::string& key) { return platform.read_setting("STATION", key); });
    StationServices services;
    services.program = "/opt/velk2";
    services.start_child = children.starter();
    services.append = [&](const std::string&, const std::string&, const std::string& line) {
        if (!line.empty()) records.push_back(test::record_gist(line));
        return std::error_code();
    };
    services.now_ms = [&] { return platform.monotonic_ms(); };
    services.local_time = [] { return LocalTime{2026, 12, 7, 16, 5, 9, 60}; };
    Window window;
    const auto child = [&](std::size_t i) -> ChildScript& { return *children.started().at(i); };

    platform.at(100, [&] {
        EXPECT_FALSE(window.get(station_control::start).enabled); // no file yet
        window.get(station_control::file_select).on_click();
        EXPECT_EQ(platform.file_requests.at(0).pattern, station_file_pattern);
        EXPECT_EQ(window.get(station_control::file_info).text,
                  "7 bytes, SHA-256 " + sha256_hex(fw.bytes));
        window.get(station_control::start).on_click();
        EXPECT_EQ(window.get(station_control::start).caption, "Stop");
        ASSERT_EQ(children.started().size(), 2u);
        child(0).say("waiting /dev/pts/1\n");
        child(1).say("flashing 0 7 230400\nflashing 3 7 230400\n");
    });
    platform.at(400, [&] {
        EXPECT_EQ(row_text(window, 0, station_column::state), "waiting for a box");
        EXPECT_EQ(row_text(window, 1, station_column::state), "flashing 42 %");
        EXPECT_EQ(window.get(station_row_control(1, station_column::progress)).value, 42);
        child(1).say("flashing 7 7 230400\nresult done 0.300 23\n");
    });
    platform.at(700, [&] {
        EXPECT_EQ(records, std::vector<std::string>{"16:05:09 COM2 /dev/pts/2 done 0.3"});
        EXPECT_EQ(row_text(window, 1, station_column::state), "done");
        EXPECT_EQ(row_text(window, 1, station_column::counts), "done 1, failed 0");
        EXPECT_EQ(child(0).input, fw.bytes);
        window.get(station_control::start).on_click(); // Stop
        EXPECT_TRUE(child(0).input_closed && child(1).input_closed);
        child(0).end({false, 0});
    });
    platform.at(1000, [&] {
        window.on_close();
        window.exists = false;
    });
    EXPECT_EQ(run_station_window({}, sources, services, platform, window), 0);
    EXPECT_EQ(children.started().size(), 2u);
    EXPECT_TRUE(child(1).killed);
    // Killed once the grace time after Stop had passed, and not much later.
    EXPECT_GE(platform.monotonic_ms(), 5700);
    EXPECT_LE(platform.monotonic_ms(), 6000);
}

} // namespace
} // namespace velk2
