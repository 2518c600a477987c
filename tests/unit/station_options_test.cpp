#include "station/station_options.h"

#include <gtest/gtest.h>

namespace velk2 {
namespace {

std::string gist(const StationOptions& o) {
    std::string text = o.window ? "window" : "no-window";
    if (!o.file.empty()) text += " file=" + o.file;
    if (o.count) text += " count=" + std::to_string(*o.count);
    for (const std::string& p : o.ports) text += " " + p;
    return text;
}

// The station's command line: what it takes, and what it refuses (exit 2)
// before anything is opened.
TEST(StationOptions, CommandLine) {
    const struct {
        std::vector<std::string> args; // after the program's path
        const char* taken;             // gist of the options, or ""
        const char* problem;           // "" when taken
    } cases[] = {
        {{"--station"}, "window", ""},
        {{"--station", "COM3", "--file", "a b.dsp", "/dev/pts/4", "--count", "4", "--no-window"},
         "no-window file=a b.dsp count=4 COM3 /dev/pts/4",
         ""},
        {{"--station", "--count", "1"}, "window count=1", ""},
        {{"--station", "--no-window"}, "", "--no-window needs --file FILE"},
        {{"--station", "--file"}, "", "--file needs a value"},
        {{"--station", "--file", ""}, "", "--file needs a file name"},
        {{"--station", "--file", "a.dsp", "--file", "b.dsp"}, "", "--file given twice"},
        {{"--station", "--no-window", "--no-window", "--file", "a"}, "", "--no-window given twice"},
        {{"--station", "--count"}, "", "--count needs a value"},
        {{"--station", "--count", "0"}, "", "--count takes a whole number from 1 on, not 0"},
        {{"--station", "--count", "+3"}, "", "--count takes a whole number from 1 on, not +3"},
        {{"--station", "--count", "4x"}, "", "--count takes a whole number from 1 on, not 4x"},
        {{"--station", "--count", "99999999999"},
         "",
         "--count takes a whole number from 1 on, not 99999999999"},
        {{"--station", "--worker", "COM1"}, "", "unknown option --worker"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        ASSERT_TRUE(station_requested(c.args));
        const StationCommand command = station_command(c.args);
        EXPECT_EQ(command.problem, c.problem);
        if (!*c.problem) {
            EXPECT_EQ(gist(command.options), c.taken);
        }
    }
    EXPECT_FALSE(station_requested({"COM1", "--station"}));
    EXPECT_FALSE(station_requested({}));
}

} // namespace
} // namespace velk2
