#include "station/station_window.h"

#include <algorithm>

#include "station/station_layout.h"
#include "station/station_texts.h"

namespace velk2 {

namespace {

void build(Window& w, int rows) {
    w.controls.clear();
    for (const StationPlaced& p : station_top)
        w.add(placed_control(p.name, p.kind, p.left, p.top, p.width, p.height, p.caption));
    for (int r = 0; r < rows; ++r) {
        const int top = station_rows_top_px + r * station_row_height_px;
        for (const StationColumn& c : station_columns)
            w.add(placed_control(station_row_control(r, c.suffix).c_str(), c.kind, c.left, top,
                                 c.width, station_row_control_height_px, ""));
    }
    w.has_panel = false; // a tool window, not the loader's black panel
    w.title = station_title;
    w.text = station_title;
    w.width_twips = station_width_px * twips_per_pixel;
    w.height_twips = station_height_twips(rows);
    ++w.revision;
}

bool built_for(const Window& w, int rows) {
    const std::size_t expected =
        std::size(station_top) + std::size_t(rows) * std::size(station_columns);
    // Controls without a position (the front end's timer) are not the model's.
    const auto placed = std::count_if(w.controls.begin(), w.controls.end(),
                                      [](const Control& c) { return c.placed; });
    return std::size_t(placed) == expected && w.find(station_control::start) &&
           (rows == 0 || w.find(station_row_control(rows - 1, station_column::port)));
}

// Sets a field and notes whether it changed.
class Updater {
  public:
    explicit Updater(Window& w) : w_(w) {}
    ~Updater() {
        if (changed_) ++w_.revision;
    }

    template <typename T> void set(T& field, const T& value) {
        if (field == value) return;
        field = value;
        changed_ = true;
    }
    void text(const std::string& name, const std::string& value, bool with_tip = false) {
        Control& c = w_.get(name);
        set(c.text, value);
        if (with_tip) set(c.tool_tip, value);
    }
    void caption(const std::string& name, const std::string& value) {
        set(w_.get(name).caption, value);
    }
    void enabled(const std::string& name, bool on) { set(w_.get(name).enabled, on); }
    void value(const std::string& name, int v) { set(w_.get(name).value, v); }

  private:
    Window& w_;
    bool changed_ = false;
};

std::string file_info(const PreparedFile& f) {
    if (!f.refused.empty()) return "Refused: " + f.refused;
    if (f.path.empty()) return "";
    return std::to_string(f.size) + " bytes, SHA-256 " + f.sha256;
}

} // namespace

void update_station_window(Window& w, const StationState& s) {
    const int rows = int(s.rows.size());
    if (!built_for(w, rows)) build(w, rows);

    Updater u(w);
    u.text(station_control::file, s.file.path.empty() ? "No file chosen" : s.file.path);
    u.text(station_control::file_info, file_info(s.file));
    u.enabled(station_control::file_select, !s.running());
    u.caption(station_control::start, s.running() ? "Stop" : "Start");
    // Stop stays pressable while the station winds down after --count or a
    // log problem: flashing workers may still be ended.
    u.enabled(station_control::start, s.running() ? !s.stop_requested : s.file.usable());
    u.text(station_control::log,
           "Flash log: " + (s.log_problem.empty() ? s.log_path : s.log_problem));
    u.text(station_control::message, s.message);

    for (int r = 0; r < rows; ++r) {
        const StationRow& row = s.rows[std::size_t(r)];
        const std::string port_text = row.device.empty() ? row.port : row.port + " " + row.device;
        u.text(station_row_control(r, station_column::port), port_text, true);
        u.text(station_row_control(r, station_column::state), row_state_text(row), true);
        u.value(station_row_control(r, station_column::progress), row_percent(row));
        u.text(station_row_control(r, station_column::bytes), row_detail_text(row));
        u.text(station_row_control(r, station_column::counts), row_counts_text(row));
    }
}

} // namespace velk2
