#include "station/station_window.h"

#include <functional>
#include <gtest/gtest.h>

#include "station/station_layout.h"

namespace velk2 {
namespace {

const std::string digest(64, 'd');

StationState three_ports() {
    StationState s = make_station_state(
        {{"COM1", "/dev/ttyUSB0"}, {"COM2", "/dev/ttyUSB1"}, {"COM3", "/dev/ttyUSB2"}});
    s.file = {"/fw/main.dsp", 2048, digest, ""};
    s.log_path = "/home/ws/.local/share/VELK2/flash-log.csv";
    return s;
}

struct Shown {
    const char* control;
    const char* field; // "text", "caption", "enabled", "value", "tip"
    std::string value;
};

std::string field_of(const Control& c, const std::string& field) {
    if (field == "text") return c.text;
    if (field == "caption") return c.caption;
    if (field == "enabled") return c.enabled ? "yes" : "no";
    if (field == "value") return std::to_string(c.value);
    return c.tool_tip;
}

struct WindowCase {
    const char* name;
    std::function<void(StationState&)> setup;
    std::vector<Shown> shown;
};

const WindowCase window_cases[] = {
    {"idle with a prepared file",
     [](StationState&) {},
     {{"file", "text", "/fw/main.dsp"},
      {"file_info", "text", "2048 bytes, SHA-256 " + digest},
      {"file_select", "enabled", "yes"},
      {"start", "caption", "Start"},
      {"start", "enabled", "yes"},
      {"log", "text", "Flash log: /home/ws/.local/share/VELK2/flash-log.csv"},
      {"row0_port", "text", "COM1 /dev/ttyUSB0"},
      {"row2_state", "text", "not started"},
      {"row2_counts", "text", "done 0, failed 0"},
      {"row1_progress", "value", "0"}}},
    {"no file chosen",
     [](StationState& s) { s.file = {}; },
     {{"file", "text", "No file chosen"}, {"file_info", "text", ""}, {"start", "enabled", "no"}}},
    {"a refused file",
     [](StationState& s) { s.file.refused = "larger than the box takes"; },
     {{"file_info", "text", "Refused: larger than the box takes"}, {"start", "enabled", "no"}}},
    {"a log that cannot be written",
     [](StationState& s) {
         s.log_problem = "/ro/flash-log.csv: Permission denied";
         s.message = "Nothing armed: the flash log cannot be written: " + s.log_problem;
     },
     {{"log", "text", "Flash log: /ro/flash-log.csv: Permission denied"},
      {"message", "text",
       "Nothing armed: the flash log cannot be written: /ro/flash-log.csv: Permission denied"}}},
    {"running, one row flashing, one failed",
     [](StationState& s) {
         s.phase = StationPhase::running;
         StationRow& r = s.rows[1];
         r.state = RowState::flashing;
         r.in_attempt = true;
         r.bytes = 1100;
         r.total = 2048;
         r.bytes_per_s = 20480;
         r.done = 3;
         r.failed = 1;
         s.rows[2].state = RowState::failed;
         s.rows[2].reason = "COM3 /dev/ttyUSB2: no such device";
     },
     {{"start", "caption", "Stop"},
      {"start", "enabled", "yes"},
      {"file_select", "enabled", "no"},
      {"row1_state", "text", "flashing 53 %"},
      {"row1_progress", "value", "53"},
      {"row1_bytes", "text", "1100 / 2048 bytes, 20480 bytes/s"},
      {"row1_counts", "text", "done 3, failed 1"},
      {"row2_state", "text", "failed: COM3 /dev/ttyUSB2: no such device"},
      {"row2_state", "tip", "failed: COM3 /dev/ttyUSB2: no such device"}}},
    {"after a result, in the quiet time",
     [](StationState& s) {
         s.phase = StationPhase::running;
         StationRow& r = s.rows[0];
         r.state = RowState::remove_box;
         r.bytes = r.total = 2048;
         r.last_result = WorkerResult{FlashOutcome::done, 12345, 166, ""};
         r.done = 1;
     },
     {{"row0_state", "text", "remove the box"},
      {"row0_progress", "value", "100"},
      {"row0_bytes", "text", "last: done, 2048 / 2048 bytes, 12.3 s, 166 bytes/s"}}},
    {"stopping",
     [](StationState& s) {
         s.phase = StationPhase::halting;
         s.stop_requested = true;
         s.rows[0].stopped = 2;
         s.rows[0].state = RowState::stopped;
     },
     {{"start", "caption", "Stop"},
      {"start", "enabled", "no"},
      {"row0_state", "text", "stopped"},
      {"row0_counts", "text", "done 0, failed 0, stopped 2"}}},
};

TEST(StationWindow, ShowsTheState) {
    for (const WindowCase& c : window_cases) {
        StationState s = three_ports();
        c.setup(s);
        Window w;
        update_station_window(w, s);
        for (const Shown& e : c.shown)
            EXPECT_EQ(field_of(w.get(e.control), e.field), e.value)
                << c.name << ": " << e.control << " " << e.field;
    }
}

TEST(StationWindow, LayoutFollowsTheRows) {
    for (int rows : {1, 3, 16}) {
        std::vector<StationPort> ports;
        for (int n = 1; n <= rows; ++n) ports.push_back({"COM" + std::to_string(n), ""});
        Window w;
        update_station_window(w, make_station_state(ports));
        EXPECT_EQ(w.controls.size(), std::size(station_top) + 5u * std::size_t(rows));
        EXPECT_EQ(w.width_twips, 1108 * 15);
        EXPECT_EQ(w.height_twips, (112 + 25 * rows + 4) * 15);
        const Control& last = w.get("row" + std::to_string(rows - 1) + "_progress");
        EXPECT_EQ(last.kind, ControlKind::progress);
        EXPECT_EQ(last.top, 112 + 25 * (rows - 1));
        EXPECT_TRUE(last.placed);
        EXPECT_EQ(w.find("row" + std::to_string(rows) + "_state"), nullptr);
        // Every control lies inside the window's margin of 8 pixels, and no
        // two overlap.
        for (const Control& c : w.controls) {
            EXPECT_GE(c.left, 8) << c.name;
            EXPECT_GE(c.top, 8) << c.name;
            EXPECT_LE(c.left + c.width, 1108 - 8) << c.name;
            EXPECT_LE((c.top + c.height + 8) * 15, w.height_twips) << c.name;
            for (const Control& d : w.controls) {
                if (&c == &d) continue;
                EXPECT_TRUE(c.left + c.width <= d.left || d.left + d.width <= c.left ||
                            c.top + c.height <= d.top || d.top + d.height <= c.top)
                    << c.name << " overlaps " << d.name;
            }
        }
        EXPECT_EQ(w.get("row0_port").text, "COM1");
    }
}

TEST(StationWindow, UpdatesInPlaceAndOnlyWhenSomethingChanged) {
    StationState s = three_ports();
    Window w;
    update_station_window(w, s);
    bool clicked = false;
    w.get(station_control::start).on_click = [&] { clicked = true; };
    const std::uint64_t built = w.revision;

    update_station_window(w, s);
    EXPECT_EQ(w.revision, built); // nothing to repaint

    s.rows[2].state = RowState::waiting;
    update_station_window(w, s);
    EXPECT_GT(w.revision, built);
    EXPECT_EQ(w.get("row2_state").text, "waiting for a box");
    w.get(station_control::start).on_click();
    EXPECT_TRUE(clicked); // the handler survives an update

    // Another number of rows: built anew.
    s.rows.pop_back();
    update_station_window(w, s);
    EXPECT_EQ(w.find("row2_state"), nullptr);
    EXPECT_EQ(w.height_twips, (112 + 50 + 4) * 15);
}

} // namespace
} // namespace velk2
