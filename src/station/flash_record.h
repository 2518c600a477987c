// The flash record: one CSV line per attempt, so a workshop can tell which
// box got which file, when and with what result. The station builds the lines
// here; the platform appends and flushes them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <system_error>

#include "platform/device_names.h"

namespace velk2 {

// A moment of the local wall clock and its offset from UTC.
struct LocalTime {
    int year = 1970, month = 1, day = 1;
    int hour = 0, minute = 0, second = 0;
    int utc_offset_minutes = 0; // east of UTC positive: +60 for 16:05:09+01:00
    bool operator==(const LocalTime&) const = default;
};

// ISO 8601 with the offset: "2026-12-07T16:05:09+01:00", "...-03:30",
// "...+00:00".
std::string iso8601(const LocalTime& t);

// One attempt as the record keeps it.
struct FlashRecord {
    std::string start;     // iso8601 of the attempt's start
    std::string port;      // "COM3"
    std::string device;    // "/dev/ttyUSB0"
    std::string file;      // the chosen file's path
    std::int64_t size = 0; // prepared bytes
    std::string sha256;
    std::string result; // "done", "failed", "stopped"
    std::string reason;
    std::int64_t elapsed_ms = 0;
    std::int64_t bytes_per_s = 0;
};

// The first line of a new record file, with its line end.
std::string flash_record_header();
// One record line with its line end ("\n"). A field holding a comma, a quote
// or a line break is quoted, its quotes doubled.
std::string flash_record_line(const FlashRecord& r);

// The field as CSV writes it.
std::string csv_field(const std::string& text);
// Seconds with one decimal ("12.3"), rounded to the nearest tenth.
std::string record_seconds(std::int64_t ms);

// Appends `line` to the file at `path` and flushes it to the disk, creating
// the file (with `header` first) and its folder when they do not exist; an
// empty `line` only makes sure of that. {} when the line is stored.
using AppendLine = std::function<std::error_code(const std::string& path, const std::string& header,
                                                 const std::string& line)>;

// Where the record lives: "$XDG_DATA_HOME/VELK2/flash-log.csv" (an absolute
// XDG_DATA_HOME only), else "$HOME/.local/share/VELK2/flash-log.csv"; on
// Windows "%LOCALAPPDATA%\VELK2\flash-log.csv".
enum class PathStyle { posix, windows };
#ifdef _WIN32
inline constexpr PathStyle native_path_style = PathStyle::windows;
#else
inline constexpr PathStyle native_path_style = PathStyle::posix;
#endif

struct LogPath {
    std::string path;    // "" when none can be found
    std::string problem; // why not
};
LogPath flash_log_path(const EnvLookup& env, PathStyle style = native_path_style);

} // namespace velk2
