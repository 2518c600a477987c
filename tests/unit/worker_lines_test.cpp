#include "station/worker_lines.h"

#include <gtest/gtest.h>

namespace velk2 {
namespace {

const std::string digest = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

struct LineCase {
    WorkerEvent event;
    std::string line;
};

// Each event and its line, both ways.
const LineCase round_trips[] = {
    {WorkerReady{2093056, digest}, "ready 2093056 " + digest},
    {WorkerReady{0, digest}, "ready 0 " + digest},
    {WorkerQuiet{}, "quiet"},
    {WorkerWaiting{"/dev/ttyUSB0"}, "waiting /dev/ttyUSB0"},
    {WorkerWaiting{"\\\\.\\COM12"}, "waiting \\\\.\\COM12"},
    {WorkerWaiting{"/dev/serial/by-id/usb my adapter"}, "waiting /dev/serial/by-id/usb my adapter"},
    {WorkerFlashing{0, 2093056, 230400}, "flashing 0 2093056 230400"},
    {WorkerFlashing{1024000, 2093056, 115200}, "flashing 1024000 2093056 115200"},
    {WorkerResult{FlashOutcome::done, 12345, 169550, ""}, "result done 12.345 169550"},
    {WorkerResult{FlashOutcome::done, 90005, 0, ""}, "result done 90.005 0"},
    {WorkerResult{FlashOutcome::done, 7, 1, ""}, "result done 0.007 1"},
    {WorkerResult{FlashOutcome::failed, 3100, 9000, "no ACK after block 7"},
     "result failed 3.100 9000 no ACK after block 7"},
    {WorkerResult{FlashOutcome::failed, 0, 0, ""}, "result failed 0.000 0"},
    {WorkerResult{FlashOutcome::stopped, 4500, 20000, ""}, "result stopped 4.500 20000"},
    {WorkerError{"COM3 /dev/ttyS2: no such device"}, "error COM3 /dev/ttyS2: no such device"},
    {WorkerError{"Gerät belegt"}, "error Gerät belegt"},
    {WorkerError{""}, "error"},
};

TEST(WorkerLines, FormatAndParseRoundTrip) {
    for (const LineCase& c : round_trips) {
        EXPECT_EQ(format_worker_line(c.event), c.line);
        const auto parsed = parse_worker_line(c.line);
        ASSERT_TRUE(parsed) << c.line;
        EXPECT_EQ(*parsed, c.event) << c.line;
    }
}

// Lines a worker of another maker (or a script) may write, read leniently
// where the meaning is plain.
TEST(WorkerLines, AcceptedVariants) {
    const std::pair<std::string, WorkerEvent> cases[] = {
        {"quiet\n", WorkerQuiet{}},
        {"quiet\r\n", WorkerQuiet{}},
        {"ready 5 " + std::string(64, 'A'), WorkerReady{5, std::string(64, 'a')}},
        {"result done 12 100", WorkerResult{FlashOutcome::done, 12000, 100, ""}},
        {"result done 12.5 100", WorkerResult{FlashOutcome::done, 12500, 100, ""}},
        {"result done 1.23456 100", WorkerResult{FlashOutcome::done, 1234, 100, ""}},
        {"result failed 1.0 5 ", WorkerResult{FlashOutcome::failed, 1000, 5, ""}},
        {"result failed 1.0 5  two  blanks ",
         WorkerResult{FlashOutcome::failed, 1000, 5, " two  blanks "}},
        {"flashing 2048 1000 230400", WorkerFlashing{2048, 1000, 230400}},
    };
    for (const auto& [line, event] : cases) {
        const auto parsed = parse_worker_line(line);
        ASSERT_TRUE(parsed) << line;
        EXPECT_EQ(*parsed, event) << line;
    }
}

TEST(WorkerLines, MalformedLinesAreRefused) {
    const std::string cases[] = {
        "",
        " quiet",
        "quiet ",
        "quiet now",
        "QUIET",
        "hello",
        "waiting",
        "waiting ",
        "ready 5",
        "ready 5 " + digest + " more",
        "ready -5 " + digest,
        "ready +5 " + digest,
        "ready 5 " + digest.substr(1),
        "ready 5 " + digest + "0",
        "ready 5 " + std::string(63, 'a') + "g",
        "ready  5 " + digest,
        "ready 99999999999999999999 " + digest,
        "flashing 1 2",
        "flashing 1 2 3 4",
        "flashing 1 2 0",
        "flashing -1 2 230400",
        "flashing 1 2 230400 ",
        "flashing 1  2 230400",
        "flashing 1 0x10 230400",
        "flashing 1\t2 230400",
        "result",
        "result done",
        "result done 1.0",
        "result ok 1.0 5",
        "result Done 1.0 5",
        "result done 1.0 5 extra",
        "result stopped 1.0 5 by user",
        "result done 1. 5",
        "result done .5 5",
        "result done 1.5.1 5",
        "result done 1.0000000001 5",
        "result done -1.0 5",
        "result done 1,5 5",
        "result done 1.0 -5",
        "result done 1.0 5.5",
        "result done 99999999999999999 5",
        "error\tport busy",
    };
    for (const std::string& line : cases) EXPECT_FALSE(parse_worker_line(line)) << line;
}

// A reason is shown in the window and printed on a terminal: no control
// character may survive, written or read.
TEST(WorkerLines, ControlCharactersInReasonsBecomeBlanks) {
    const std::pair<std::string, std::string> cases[] = {
        {"tab\there", "tab here"},
        {"bell\a", "bell "},
        {"esc\x1b[2Jclear", "esc [2Jclear"},
        {"cr\rhidden", "cr hidden"},
        {"del\x7f", "del "},
        {"c1 \xc2\x9b"
         "31m",
         "c1  31m"},
        {"nbsp \xc2\xa0 stays", "nbsp \xc2\xa0 stays"},
        {"Gerät", "Gerät"},
    };
    for (const auto& [raw, clean] : cases) {
        EXPECT_EQ(without_controls(raw), clean);
        EXPECT_EQ(format_worker_line(WorkerError{raw}), "error " + clean);
        EXPECT_EQ(format_worker_line(WorkerResult{FlashOutcome::failed, 1000, 5, raw}),
                  "result failed 1.000 5 " + clean);
        const auto error = parse_worker_line("error " + raw);
        ASSERT_TRUE(error) << raw;
        EXPECT_EQ(std::get<WorkerError>(*error).reason, clean);
        const auto result = parse_worker_line("result failed 1.0 5 " + raw);
        ASSERT_TRUE(result) << raw;
        EXPECT_EQ(std::get<WorkerResult>(*result).reason, clean);
        const auto waiting = parse_worker_line("waiting " + raw);
        ASSERT_TRUE(waiting) << raw;
        EXPECT_EQ(std::get<WorkerWaiting>(*waiting).device, clean);
    }
    // A written line never holds a line break of its reason.
    EXPECT_EQ(format_worker_line(WorkerError{"one\ntwo"}), "error one two");
}

} // namespace
} // namespace velk2
