// The one window as a model: controls in creation order, timers, and the
// character grid of the information panel. Shell and transfers change it; the
// Qt platform paints it; tests read it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velk2 {

enum class ControlKind { button, check_box, label, timer, image, progress };

struct Control {
    std::string name;
    ControlKind kind = ControlKind::button;
    bool placed = false;                          // controls without a position only hold state
    int left = 0, top = 0, width = 0, height = 0; // pixels
    std::string caption;                          // UTF-8
    bool enabled = true;
    bool visible = true;
    std::string tool_tip;
    int value = 0;       // check state of a check box; 0 to 100 of a progress bar
    std::string text;    // label text
    std::string picture; // image: path of the shown picture, empty when none
    std::function<void()> on_click;
    // Which control lies over which where they overlap: a higher level over
    // a lower one, and within a level a later control over an earlier one.
    int level = 0;

    // Timers: interval, on/off and the tick handler. `due_ms` is the
    // monotonic time of the next tick while the timer is on.
    int interval_ms = 0;
    bool on = false;
    std::int64_t due_ms = 0;
    std::function<void()> on_tick;
};

constexpr std::uint32_t colour_white = 0xFFFFFF;
constexpr std::uint32_t colour_black = 0x000000;

struct Cell {
    char32_t ch = U' '; // one character
    std::uint32_t colour = colour_black;
    bool emphasis = false;
};

// Grid positions are 1-based: column 1 starts at the window's left edge, row
// 1 at its top; one cell is 8 x 15 pixels, so 100 columns fill 800 pixels.
constexpr int grid_columns = 128;
constexpr int grid_rows = 40;
constexpr int cell_width_px = 8;
constexpr int cell_height_px = 15;
constexpr int twips_per_pixel = 15;

// The model's pixels are those of a 96-DPI display. On a display of another
// DPI every edge scales and is rounded on its own, so controls that touch in
// the model touch at any scale and the grid's cells tile the panel.
constexpr int model_dpi = 96;

// `px` model pixels at `dpi`, rounded to the nearest pixel (halves up).
int scaled_px(int px, int dpi);

struct PixelRect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// A model rectangle (left, top, width, height) at `dpi`.
PixelRect scaled_rect(int left, int top, int width, int height, int dpi);
// The cell of the grid at 0-based `column` and `row` at `dpi`.
PixelRect scaled_cell(int column, int row, int dpi);

struct Window {
    std::string title;
    std::string text;
    int width_twips = 12000;
    int height_twips = 3225;
    bool exists = true;
    // The information panel: the black grid of cells under the controls. A
    // window without it is an ordinary tool window in the system's colours
    // and fonts, each label one line, cut short with an ellipsis where it
    // does not fit.
    bool has_panel = true;
    std::vector<Control> controls; // creation order
    std::vector<Cell> cells = std::vector<Cell>(grid_columns * grid_rows);

    // Drawing state of the grid's text operations.
    std::uint32_t draw_colour = colour_white;
    bool emphasis = false;
    int cursor_column = 1, cursor_row = 1;

    // Bumped on every change so that a painter knows when to repaint.
    std::uint64_t revision = 0;

    // Runs when the user closes the window; the window is gone afterwards.
    std::function<void()> on_close;
    // Runs when the window becomes the active one: when it first appears and
    // whenever the user comes back to it from another window.
    std::function<void()> on_activate;

    Control& add(Control c);
    Control* find(const std::string& name);
    const Control* find(const std::string& name) const;
    Control& get(const std::string& name); // throws when absent

    const Cell& cell(int column, int row) const;
    // Text of `width` cells from (column, row) as UTF-8, for tests and
    // diagnostics.
    std::string row_text(int row, int column = 1, int width = 100) const;
};

// The indices of `w.controls` from the bottom control to the top one.
std::vector<std::size_t> stacking_order(const Window& w);

// A control at a pixel position, and one that only holds state.
Control placed_control(const char* name, ControlKind kind, int left, int top, int width, int height,
                       const char* caption, bool enabled = true);
Control holder_control(const char* name, ControlKind kind);

// Grid text operations: place the cursor, print text at the cursor in the
// current colour and emphasis, without a line end; cells past the grid are
// dropped. The text takes one cell per character: UTF-8 sequences are
// characters, any other byte is the Latin-1 character of that byte.
void grid_locate(Window& w, int column, int row);
void grid_print(Window& w, const std::string& text);

// Control operations that must be harmless on controls a build does not
// create (the service buttons of the delivered build).
void set_enabled(Window& w, const std::string& name, bool enabled);
void set_caption(Window& w, const std::string& name, const std::string& caption);

} // namespace velk2
