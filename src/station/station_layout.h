// Where everything lies in the station window: the file and log lines at
// the top, then one row of controls per port. The one place that knows the
// station window's control names and pixel positions.
#pragma once

#include <string>

#include "platform/window_model.h"

namespace velk2 {

inline constexpr const char* station_title = "VELK2 Station";

namespace station_control {
inline constexpr const char* file_select = "file_select";
inline constexpr const char* file = "file";           // the chosen file's path
inline constexpr const char* file_info = "file_info"; // its size and SHA-256, or why refused
inline constexpr const char* start = "start";         // "Start" / "Stop"
inline constexpr const char* log = "log";             // the flash log's path or problem
inline constexpr const char* message = "message";     // the station's last message
} // namespace station_control

struct StationPlaced {
    const char* name;
    ControlKind kind;
    int left, top, width, height; // pixels
    const char* caption;
};
// A tool window with a margin of 8 pixels; each label as tall as the
// button beside it, so that their texts share a line.
inline constexpr StationPlaced station_top[] = {
    {station_control::file_select, ControlKind::button, 8, 8, 120, 25, "Choose file"},
    {station_control::file, ControlKind::label, 136, 8, 964, 25, ""},
    {station_control::file_info, ControlKind::label, 136, 33, 964, 25, ""},
    {station_control::start, ControlKind::button, 8, 58, 120, 25, "Start"},
    {station_control::log, ControlKind::label, 136, 58, 964, 25, ""},
    {station_control::message, ControlKind::label, 8, 83, 1092, 25, ""},
};

// The controls of one port's row, left to right; row n's control is named
// "row<n>_<suffix>" (n from 0), e.g. "row3_state".
struct StationColumn {
    const char* suffix;
    ControlKind kind;
    int left, width; // pixels
};
namespace station_column {
inline constexpr const char* port = "port";         // port and device
inline constexpr const char* state = "state";       // "flashing 45 %"
inline constexpr const char* progress = "progress"; // 0 to 100
inline constexpr const char* bytes = "bytes";       // bytes and speed
inline constexpr const char* counts = "counts";     // done and failed
} // namespace station_column
// Wide enough for the texts of a flash of a few MB in the system's 9-point
// font ("last: done, 2093056 / 2093056 bytes, 93.4 s, 22410 bytes/s",
// "done 12, failed 3, stopped 2"); a longer text ends in an ellipsis, and
// the port and state show theirs in full as a tool tip.
inline constexpr StationColumn station_columns[] = {
    {station_column::port, ControlKind::label, 8, 140},
    {station_column::state, ControlKind::label, 156, 250},
    {station_column::progress, ControlKind::progress, 414, 110},
    {station_column::bytes, ControlKind::label, 532, 390},
    {station_column::counts, ControlKind::label, 930, 170},
};

inline constexpr int station_width_px = 1108;
inline constexpr int station_rows_top_px = 112;
inline constexpr int station_row_height_px = 25;
inline constexpr int station_row_control_height_px = 21;
// Below the last row's pitch: 8 pixels under its controls.
inline constexpr int station_bottom_margin_px = 4;

inline std::string station_row_control(int row, const char* suffix) {
    return "row" + std::to_string(row) + "_" + suffix;
}

// The window's height for `rows` rows, in twips.
constexpr int station_height_twips(int rows) {
    return (station_rows_top_px + rows * station_row_height_px + station_bottom_margin_px) *
           twips_per_pixel;
}

} // namespace velk2
