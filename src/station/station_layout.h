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
inline constexpr StationPlaced station_top[] = {
    {station_control::file_select, ControlKind::button, 0, 0, 120, 25, "Choose file"},
    {station_control::file, ControlKind::label, 128, 4, 832, 21, ""},
    {station_control::file_info, ControlKind::label, 128, 29, 832, 21, ""},
    {station_control::start, ControlKind::button, 0, 50, 120, 25, "Start"},
    {station_control::log, ControlKind::label, 128, 54, 832, 21, ""},
    {station_control::message, ControlKind::label, 8, 79, 952, 21, ""},
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
inline constexpr StationColumn station_columns[] = {
    {station_column::port, ControlKind::label, 8, 200},
    {station_column::state, ControlKind::label, 212, 200},
    {station_column::progress, ControlKind::progress, 416, 150},
    {station_column::bytes, ControlKind::label, 572, 260},
    {station_column::counts, ControlKind::label, 836, 124},
};

inline constexpr int station_width_px = 960;
inline constexpr int station_rows_top_px = 104;
inline constexpr int station_row_height_px = 25;
inline constexpr int station_row_control_height_px = 21;
inline constexpr int station_bottom_margin_px = 8;

inline std::string station_row_control(int row, const char* suffix) {
    return "row" + std::to_string(row) + "_" + suffix;
}

// The window's height for `rows` rows, in twips.
constexpr int station_height_twips(int rows) {
    return (station_rows_top_px + rows * station_row_height_px + station_bottom_margin_px) *
           twips_per_pixel;
}

} // namespace velk2
