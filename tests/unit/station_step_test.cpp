#include "station/station_step.h"

#include <gtest/gtest.h>

#include "station/station_texts.h"
#include "station_script.h"

namespace velk2 {
namespace {

using test::StationScript;
using test::Step;

struct Scenario {
    const char* name;
    int ports;
    std::vector<Step> steps;
    std::vector<std::string> processes; // started, closed, killed workers
    std::vector<std::string> records;   // record_gist of each line
    std::optional<int> exit_status;     // nullopt: not finished
    std::optional<int> count = {};
    const char* refused = "";
    const char* message = "";              // in the last message
    std::vector<std::string> printed = {}; // checked when given
};

const std::string busy = "COM1 /dev/pts/1: busy";

const Scenario scenarios[] = {
    {.name = "four ports, boxes arriving at different times",
     .ports = 4,
     .steps = {{0, "start"},
               {10, "0 $READY"},
               {10, "0 waiting /dev/ttyUSB0"},
               {10, "1 waiting /dev/pts/2"},
               {10, "2 waiting /dev/pts/3"},
               {10, "3 waiting /dev/pts/4"},
               {10, "?0 waiting for a box"},
               {1000, "2 flashing 0 2048 230400"},
               {1500, "2 flashing 1024 2048 230400"},
               {1500, "?2 flashing 50 %"},
               {1500, "=2 1024 / 2048 bytes, 2048 bytes/s"},
               {1500, "?1 waiting for a box"},
               {2000, "2 result done 1.000 2048"},
               {2000, "?2 done"},
               {2000, "#2 done 1, failed 0"},
               {2000, "=2 last: done, 2048 / 2048 bytes, 1.0 s, 2048 bytes/s"},
               {2100, "2 quiet"},
               {2100, "?2 remove the box"},
               {3000, "0 flashing 0 2048 230400"},
               {4500, "0 result done 1.500 1365"},
               {5000, "3 flashing 0 2048 115200"},
               {7000, "2 !exit 0"},
               {7000, "?2 remove the box"},
               {7200, "1 flashing 0 2048 230400"},
               {8000, "3 result done 3.000 682"},
               {9000, "1 result done 1.800 1137"},
               {9000, "#0 done 1, failed 0"},
               {9000, "?0 done"}},
     .processes = {"start 0@0 q0", "start 1@0 q0", "start 2@0 q0", "start 3@0 q0",
                   "start 2@7000 q0"},
     .records = {"16:05:01 COM3 /dev/pts/3 done 1.0", "16:05:03 COM1 /dev/ttyUSB0 done 1.5",
                 "16:05:05 COM4 /dev/pts/4 done 3.0", "16:05:07 COM2 /dev/pts/2 done 1.8"},
     .exit_status = {}},

    {.name = "a worker dies mid-flash: its row fails alone, the next waits out the quiet",
     .ports = 2,
     .steps = {{0, "start"},
               {10, "0 waiting /dev/pts/1"},
               {10, "1 waiting /dev/pts/2"},
               {1000, "0 flashing 0 2048 230400"},
               {2000, "1 flashing 0 2048 230400"},
               {2000, "0 flashing 1024 2048 230400"},
               {3000, "0 !signal 11"},
               {3000, "?0 failed: worker ended (signal 11)"},
               {3000, "#0 done 0, failed 1"},
               {3000, "=0 last: failed, 1024 / 2048 bytes, 2.0 s, 512 bytes/s"},
               {3000, "?1 flashing 0 %"},
               {3010, "0 quiet"},
               {3010, "?0 remove the box"},
               {4000, "1 result done 2.000 1024"},
               {4000, "#1 done 1, failed 0"}},
     .processes = {"start 0@0 q0", "start 1@0 q0", "start 0@3000 q5"},
     .records = {"16:05:01 COM1 /dev/pts/1 failed 2.0: worker ended (signal 11)",
                 "16:05:02 COM2 /dev/pts/2 done 2.0"},
     .exit_status = {}},

    {.name = "a box back in its bootloader after done is not flashed twice",
     .ports = 1,
     .steps = {{0, "start"},
               {10, "0 $READY"},
               {10, "0 waiting /dev/pts/1"},
               {1000, "0 flashing 0 2048 230400"},
               {2000, "0 result done 1.000 2048"},
               {2000, "?0 done"},
               {2000, "0 quiet"},
               {2000, "?0 remove the box"},
               {9000, "0 !exit 0"},
               {9000, "?0 remove the box"},
               {9050, "0 $READY"},
               {9050, "?0 remove the box"},
               {9060, "0 waiting /dev/pts/1"},
               {9060, "?0 waiting for a box"}},
     .processes = {"start 0@0 q0", "start 0@9000 q0"},
     .records = {"16:05:01 COM1 /dev/pts/1 done 1.0"},
     .exit_status = {},
     .printed = {"COM1 waiting for a box", "COM1 flashing", "COM1 done (1.0 s, 2048 bytes/s)",
                 "COM1 remove the box", "COM1 waiting for a box"}},

    {.name = "an unwritable log arms nothing; a writable one later does",
     .ports = 2,
     .steps = {{0, "logfail"},
               {0, "start"},
               {0, "?0 not started"},
               {0, "?1 not started"},
               {100, "logok"},
               {100, "start"}},
     .processes = {"start 0@100 q0", "start 1@100 q0"},
     .records = {},
     .exit_status = 1,
     .message = "Nothing armed: the flash log cannot be written: /logs/flash-log.csv: "},

    {.name = "a refused file arms nothing",
     .ports = 2,
     .steps = {{0, "start"}, {0, "?0 not started"}},
     .processes = {},
     .records = {},
     .exit_status = 1,
     .refused = "the file is empty",
     .message = "Nothing armed: the file is empty"},

    {.name = "--count 4: every attempt done, exit 0; the fifth port is not flashed",
     .ports = 5,
     .steps = {{0, "start"},
               {10, "0 waiting /dev/pts/1"},
               {10, "1 waiting /dev/pts/2"},
               {10, "2 waiting /dev/pts/3"},
               {10, "3 waiting /dev/pts/4"},
               {10, "4 waiting /dev/pts/5"},
               {1000, "0 flashing 0 2048 230400"},
               {1100, "1 flashing 0 2048 230400"},
               {1200, "2 flashing 0 2048 230400"},
               {1300, "3 flashing 0 2048 230400"},
               {1400, "4 !exit 0"},
               {1400, "?4 stopped"},
               {2000, "0 result done 1.000 2048"},
               {2000, "0 !exit 0"},
               {2000, "?0 stopped"},
               {2100, "1 result done 1.000 2048"},
               {2100, "1 !exit 0"},
               {2200, "2 result done 1.000 2048"},
               {2200, "2 !exit 0"},
               {2300, "3 result done 1.000 2048"},
               {2300, "3 quiet"},
               {2300, "3 !exit 0"}},
     .processes = {"start 0@0 q0", "start 1@0 q0", "start 2@0 q0", "start 3@0 q0", "start 4@0 q0",
                   "close 4@1300", "close 0@2000", "close 1@2100", "close 2@2200", "close 3@2300"},
     .records = {"16:05:01 COM1 /dev/pts/1 done 1.0", "16:05:01 COM2 /dev/pts/2 done 1.0",
                 "16:05:01 COM3 /dev/pts/3 done 1.0", "16:05:01 COM4 /dev/pts/4 done 1.0"},
     .exit_status = 0,
     .count = 4,
     .message = "4 attempts begun"},

    {.name = "--count 4 with one failed attempt: exit 1",
     .ports = 4,
     .steps = {{0, "start"},
               {1000, "0 flashing 0 2048 230400"},
               {1000, "1 flashing 0 2048 230400"},
               {1000, "2 flashing 0 2048 230400"},
               {1000, "3 flashing 0 2048 230400"},
               {2000, "0 result done 1.000 2048"},
               {2000, "1 result failed 1.000 10 no ACK after block 1"},
               {2000, "2 result done 1.000 2048"},
               {2000, "3 result done 1.000 2048"},
               {2000, "0 !exit 0"},
               {2000, "1 !exit 1"},
               {2000, "2 !exit 0"},
               {2000, "3 !exit 0"}},
     .processes = {"start 0@0 q0", "start 1@0 q0", "start 2@0 q0", "start 3@0 q0", "close 0@2000",
                   "close 1@2000", "close 2@2000", "close 3@2000"},
     .records = {"16:05:01 COM1 /dev/pts/1 done 1.0",
                 "16:05:01 COM2 /dev/pts/2 failed 1.0: no ACK after block 1",
                 "16:05:01 COM3 /dev/pts/3 done 1.0", "16:05:01 COM4 /dev/pts/4 done 1.0"},
     .exit_status = 1,
     .count = 4},

    {.name = "Stop during flashes: a stopped record for each flashing port",
     .ports = 3,
     .steps = {{0, "start"},
               {10, "0 waiting /dev/pts/1"},
               {10, "1 waiting /dev/pts/2"},
               {10, "2 waiting /dev/pts/3"},
               {1000, "0 flashing 0 2048 230400"},
               {1500, "1 flashing 0 2048 230400"},
               {2000, "0 flashing 1024 2048 230400"},
               {3000, "stop"},
               {3100, "0 result stopped 2.100 487"},
               {3100, "0 !exit 1"},
               {3100, "?0 stopped"},
               {3200, "2 !exit 0"},
               {3300, "1 result stopped 1.800 0"},
               {3300, "1 !exit 1"},
               {3300, "?1 stopped"},
               {3300, "?2 stopped"},
               {3300, "#0 done 0, failed 0, stopped 1"}},
     .processes = {"start 0@0 q0", "start 1@0 q0", "start 2@0 q0", "close 0@3000", "close 1@3000",
                   "close 2@3000"},
     .records = {"16:05:01 COM1 /dev/pts/1 stopped 2.1", "16:05:01 COM2 /dev/pts/2 stopped 1.8"},
     .exit_status = 1},

    {.name = "a worker that ignores its stop request is killed after the grace time",
     .ports = 1,
     .steps = {{0, "start"},
               {10, "0 waiting /dev/pts/1"},
               {1000, "0 flashing 0 2048 230400"},
               {1500, "0 flashing 512 2048 230400"},
               {2000, "stop"},
               {6999, "tick"},
               {7000, "tick"},
               {7001, "tick"},
               {7050, "0 !signal 9"},
               {7050, "?0 stopped"},
               {7100, "tick"}},
     .processes = {"start 0@0 q0", "close 0@2000", "kill 0@7000"},
     .records = {"16:05:01 COM1 /dev/pts/1 stopped 6.1: worker killed: it did not end within 5.0 "
                 "s of its stop request"},
     .exit_status = 1},

    {.name = "the row shows a result only when its record is stored",
     .ports = 1,
     .steps = {{0, "start"},
               {10, "0 waiting /dev/pts/1"},
               {1000, "0 flashing 0 2048 230400"},
               {1900, "0 flashing 2048 2048 230400"},
               {1900, "hold"},
               {2000, "0 result done 1.000 2048"},
               {2000, "?0 flashing 100 %"},
               {2000, "#0 done 0, failed 0"},
               {2010, "0 quiet"},
               {2010, "?0 flashing 100 %"},
               {7000, "0 !exit 0"},
               {7000, "?0 flashing 100 %"},
               {7100, "release"},
               {7100, "?0 remove the box"},
               {7100, "#0 done 1, failed 0"}},
     .processes = {"start 0@0 q0", "start 0@7100 q0"},
     .records = {"16:05:01 COM1 /dev/pts/1 done 1.0"},
     .exit_status = {},
     .printed = {"COM1 waiting for a box", "COM1 flashing", "COM1 done (1.0 s, 2048 bytes/s)",
                 "COM1 remove the box"}},

    {.name = "a record that cannot be written: the result shows, nothing is armed again",
     .ports = 2,
     .steps = {{0, "start"},
               {10, "0 waiting /dev/pts/1"},
               {10, "1 waiting /dev/pts/2"},
               {1000, "0 flashing 0 2048 230400"},
               {1500, "logfail"},
               {2000, "0 result done 1.000 2048"},
               {2000, "?0 done"},
               {2000, "?1 waiting for a box"},
               {2100, "0 !exit 0"},
               {2100, "1 !exit 0"},
               {2100, "?0 stopped"},
               {2100, "?1 stopped"},
               {9000, "tick"}},
     .processes = {"start 0@0 q0", "start 1@0 q0", "close 0@2000", "close 1@2000"},
     .records = {},
     .exit_status = 1,
     .message = "The flash log cannot be written: /logs/flash-log.csv: "},

    {.name = "a busy port: its row says why, a new worker tries again later",
     .ports = 2,
     .steps = {{0, "start"},
               {10, "0 error " + busy},
               {10, "1 waiting /dev/pts/2"},
               {10, "?0 failed: " + busy},
               {20, "0 !exit 1"},
               {20, "?0 failed: " + busy},
               {20, "#0 done 0, failed 0"},
               {5019, "tick"},
               {5020, "tick"},
               {5030, "0 waiting /dev/pts/1"},
               {5030, "?0 waiting for a box"}},
     .processes = {"start 0@0 q0", "start 1@0 q0", "start 0@5020 q0"},
     .records = {},
     .exit_status = {}},

    {.name = "a worker that dies before its port opens: retried later, quiet first",
     .ports = 1,
     .steps = {{0, "start"},
               {50, "0 !exit 3 bad arguments\ncannot read the data\n"},
               {50, "?0 failed: worker ended (exit status 3): cannot read the data"},
               {5049, "tick"},
               {5050, "tick"}},
     .processes = {"start 0@0 q0", "start 0@5050 q5"},
     .records = {},
     .exit_status = {}},

    {.name = "a worker that received other data is ended and retried",
     .ports = 1,
     .steps = {{0, "start"},
               {10, "0 ready 2048 " + std::string(64, 'e')},
               {10, "?0 failed: the worker received other data than prepared"},
               {20, "0 !exit 1"},
               {5020, "tick"}},
     .processes = {"start 0@0 q0", "close 0@10", "start 0@5020 q0"},
     .records = {},
     .exit_status = {}},

    {.name = "a worker that dies while armed: a new one no sooner than a second after",
     .ports = 1,
     .steps = {{0, "start"},
               {10, "0 waiting /dev/pts/1"},
               {100, "0 !signal 6"},
               {999, "tick"},
               {1000, "tick"}},
     .processes = {"start 0@0 q0", "start 0@1000 q5"},
     .records = {},
     .exit_status = {}},

    {.name = "lines not in the format, of other rows, or after the end change nothing",
     .ports = 1,
     .steps = {{0, "start"},
               {10, "0 waiting /dev/pts/1"},
               {20, "0 flashing 10 2048"},
               {20, "0 hello"},
               {20, "3 flashing 0 2048 230400"},
               {20, "?0 waiting for a box"},
               {500, "0 !exit 0"},
               {600, "0 result done 1.000 2048"},
               {600, "?0 failed: worker ended (exit status 0)"}},
     .processes = {"start 0@0 q0"},
     .records = {},
     .exit_status = {}},

    {.name = "a result without a flashing line is still an attempt",
     .ports = 1,
     .steps = {{0, "start"},
               {3000, "0 result failed 0.500 0 no answer to block 0"},
               {3000, "?0 failed: no answer to block 0"}},
     .processes = {"start 0@0 q0"},
     .records = {"16:05:03 COM1 /dev/pts/1 failed 0.5: no answer to block 0"},
     .exit_status = {}},

    {.name = "Stop while the log is being checked",
     .ports = 2,
     .steps = {{0, "hold"}, {0, "start"}, {10, "stop"}, {20, "release"}, {20, "?0 not started"}},
     .processes = {},
     .records = {},
     .exit_status = 0},
};

TEST(StationStep, Scenarios) {
    for (const Scenario& sc : scenarios) {
        SCOPED_TRACE(sc.name);
        StationScript script(sc.ports);
        script.state.count = sc.count;
        script.state.file.refused = sc.refused;
        script.run(sc.steps);
        for (const std::string& f : script.check_failures) ADD_FAILURE() << f;
        EXPECT_EQ(script.processes, sc.processes);
        std::vector<std::string> gists;
        for (const std::string& line : script.records) gists.push_back(test::record_gist(line));
        EXPECT_EQ(gists, sc.records);
        EXPECT_EQ(script.exit_status, sc.exit_status);
        EXPECT_LE(script.finished_count, 1);
        if (*sc.message) {
            ASSERT_FALSE(script.messages.empty());
            EXPECT_NE(script.messages.back().find(sc.message), std::string::npos)
                << script.messages.back();
        }
        if (!sc.printed.empty()) {
            EXPECT_EQ(script.printed, sc.printed);
        }
    }
}

} // namespace
} // namespace velk2

namespace velk2 {
namespace {

// What the supervisor gets to carry out: the worker's arguments, the whole
// record line, the log's check at Start, and the summary at the end.
TEST(StationStep, WhatTheSupervisorIsGiven) {
    StationState s = make_station_state({{"COM1", "/dev/pts/1"}, {"COM2", "/dev/pts/2"}});
    s.file = {"/fw/a b,c.dsp", 2048, test::test_digest, ""};
    s.log_path = "/logs/flash-log.csv";
    s.quiet_s = 7;
    StationNow now{0, {2026, 12, 7, 16, 5, 9, -210}};

    auto actions = station_step(s, StartPressed{}, now);
    ASSERT_EQ(actions.size(), 1u);
    const auto& check = std::get<AppendRecord>(actions[0]);
    EXPECT_EQ(check.row, -1);
    EXPECT_EQ(check.line, "");
    EXPECT_EQ(check.header, flash_record_header());

    actions = station_step(s, RecordWritten{-1, {}}, now);
    ASSERT_EQ(actions.size(), 2u);
    const auto& start = std::get<StartWorker>(actions[1]);
    EXPECT_EQ(start.row, 1);
    const std::vector<std::string> args = {"--worker",      "COM2", "--name",   "/fw/a b,c.dsp",
                                           "--size",        "2048", "--sha256", test::test_digest,
                                           "--quiet-first", "0",    "--quiet",  "7"};
    EXPECT_EQ(start.arguments, args);

    station_step(s, WorkerLineRead{0, "flashing 0 2048 230400"}, now);
    now.ms = 12345;
    actions = station_step(s, WorkerLineRead{0, "result done 12.345 166"}, now);
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_EQ(std::get<AppendRecord>(actions[0]).line,
              "2026-12-07T16:05:09-03:30,COM1,/dev/pts/1,\"/fw/a b,c.dsp\",2048," +
                  test::test_digest + ",done,,12.3,166\n");
    station_step(s, RecordWritten{0, {}}, now);
    station_step(s, WorkerLineRead{1, "flashing 0 2048 230400"}, now);
    station_step(s, WorkerLineRead{1, "result failed 2.0 9 box, gone"}, now);
    station_step(s, RecordWritten{1, {}}, now);

    actions = station_step(s, StopPressed{}, now);
    EXPECT_EQ(actions.size(), 2u); // both inputs closed
    station_step(s, WorkerEnded{0, {false, 0, ""}}, now);
    actions = station_step(s, WorkerEnded{1, {false, 1, ""}}, now);
    ASSERT_FALSE(actions.empty());
    EXPECT_EQ(std::get<Finished>(actions.back()).exit_status, 1);
    EXPECT_EQ(station_summary(s), "Station: 2 attempts, 1 done, 1 failed, 0 stopped\n"
                                  "COM1 /dev/pts/1: done 1, failed 0\n"
                                  "COM2 /dev/pts/2: done 0, failed 1\n"
                                  "Flash log: /logs/flash-log.csv\n");
}

} // namespace
} // namespace velk2
