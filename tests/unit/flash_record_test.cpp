#include "station/flash_record.h"

#include <gtest/gtest.h>
#include <map>

namespace velk2 {
namespace {

TEST(FlashRecord, TimeWithOffset) {
    const std::pair<LocalTime, const char*> cases[] = {
        {{2026, 12, 7, 16, 5, 9, 60}, "2026-12-07T16:05:09+01:00"},
        {{2026, 1, 2, 3, 4, 5, -210}, "2026-01-02T03:04:05-03:30"},
        {{2026, 6, 30, 23, 59, 59, 0}, "2026-06-30T23:59:59+00:00"},
        {{2026, 3, 29, 0, 0, 0, 345}, "2026-03-29T00:00:00+05:45"},
        {{2026, 3, 29, 0, 0, 0, -30}, "2026-03-29T00:00:00-00:30"},
        {{2027, 10, 31, 12, 0, 0, -720}, "2027-10-31T12:00:00-12:00"},
        {{2027, 10, 31, 12, 0, 0, 840}, "2027-10-31T12:00:00+14:00"},
    };
    for (const auto& [t, text] : cases) EXPECT_EQ(iso8601(t), text);
}

TEST(FlashRecord, FieldsQuotedOnlyWhenNeeded) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain", "plain"},
        {"", ""},
        {"with blank", "with blank"},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"\"", "\"\"\"\""},
        {"two\nlines", "\"two\nlines\""},
        {"cr\rhere", "\"cr\rhere\""},
        {"semi;colon", "semi;colon"},
        {"/home/ws/fw,v2/\"x\".dsp", "\"/home/ws/fw,v2/\"\"x\"\".dsp\""},
    };
    for (const auto& [text, field] : cases) EXPECT_EQ(csv_field(text), field) << text;
}

TEST(FlashRecord, SecondsWithOneDecimal) {
    const std::pair<std::int64_t, const char*> cases[] = {
        {0, "0.0"},      {49, "0.0"},    {50, "0.1"},     {12345, "12.3"},
        {12350, "12.4"}, {9950, "10.0"}, {59999, "60.0"}, {3600000, "3600.0"},
    };
    for (const auto& [ms, text] : cases) EXPECT_EQ(record_seconds(ms), text) << ms;
}

TEST(FlashRecord, HeaderAndLine) {
    EXPECT_EQ(flash_record_header(),
              "start,port,device,file,size,sha256,result,reason,seconds,bytes_per_s\n");
    const std::string digest(64, 'c');
    struct Case {
        FlashRecord record;
        std::string line;
    };
    const Case cases[] = {
        {{"2026-12-07T16:05:09+01:00", "COM1", "/dev/ttyUSB0", "/fw/main.dsp", 2093056, digest,
          "done", "", 12345, 169550},
         "2026-12-07T16:05:09+01:00,COM1,/dev/ttyUSB0,/fw/main.dsp,2093056," + digest +
             ",done,,12.3,169550\n"},
        {{"2026-12-07T16:05:09-03:30", "COM12", "\\\\.\\COM12", "C:\\fw\\a, b.dsp", 7, digest,
          "failed", "no ACK, block 3 \"x\"", 900, 7},
         "2026-12-07T16:05:09-03:30,COM12,\\\\.\\COM12,\"C:\\fw\\a, b.dsp\",7," + digest +
             ",failed,\"no ACK, block 3 \"\"x\"\"\",0.9,7\n"},
        {{"2026-12-07T16:05:09+00:00", "COM2", "/dev/pts/3", "/fw/new\nline.dsp", 0, digest,
          "stopped", "", 0, 0},
         "2026-12-07T16:05:09+00:00,COM2,/dev/pts/3,\"/fw/new\nline.dsp\",0," + digest +
             ",stopped,,0.0,0\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(flash_record_line(c.record), c.line);
}

TEST(FlashRecord, LogPathFromTheEnvironment) {
    struct Case {
        std::map<std::string, std::string> env;
        PathStyle style;
        const char* path;
        bool problem;
    };
    const Case cases[] = {
        {{{"XDG_DATA_HOME", "/data"}, {"HOME", "/home/ws"}},
         PathStyle::posix,
         "/data/VELK2/flash-log.csv",
         false},
        {{{"XDG_DATA_HOME", "/data/"}}, PathStyle::posix, "/data/VELK2/flash-log.csv", false},
        {{{"HOME", "/home/ws"}},
         PathStyle::posix,
         "/home/ws/.local/share/VELK2/flash-log.csv",
         false},
        // Empty or relative XDG_DATA_HOME: the default under HOME.
        {{{"XDG_DATA_HOME", ""}, {"HOME", "/home/ws"}},
         PathStyle::posix,
         "/home/ws/.local/share/VELK2/flash-log.csv",
         false},
        {{{"XDG_DATA_HOME", "data"}, {"HOME", "/home/ws"}},
         PathStyle::posix,
         "/home/ws/.local/share/VELK2/flash-log.csv",
         false},
        {{}, PathStyle::posix, "", true},
        {{{"HOME", ""}}, PathStyle::posix, "", true},
        {{{"HOME", "relative"}}, PathStyle::posix, "", true},
        // LOCALAPPDATA alone counts on Windows.
        {{{"LOCALAPPDATA", "C:\\Users\\ws\\AppData\\Local"}, {"HOME", "/home/ws"}},
         PathStyle::windows,
         "C:\\Users\\ws\\AppData\\Local\\VELK2\\flash-log.csv",
         false},
        {{{"LOCALAPPDATA", "C:\\Local\\"}},
         PathStyle::windows,
         "C:\\Local\\VELK2\\flash-log.csv",
         false},
        {{{"HOME", "/home/ws"}, {"XDG_DATA_HOME", "/data"}}, PathStyle::windows, "", true},
        {{{"LOCALAPPDATA", ""}}, PathStyle::windows, "", true},
    };
    for (const Case& c : cases) {
        const EnvLookup env = [&](const std::string& name) -> std::optional<std::string> {
            if (auto it = c.env.find(name); it != c.env.end()) return it->second;
            return std::nullopt;
        };
        const LogPath got = flash_log_path(env, c.style);
        EXPECT_EQ(got.path, c.path);
        EXPECT_EQ(!got.problem.empty(), c.problem) << got.problem;
    }
}

} // namespace
} // namespace velk2
