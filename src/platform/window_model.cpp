#include "platform/window_model.h"

#include <algorithm>
#include <stdexcept>

#include "platform/text_utf8.h"

namespace velk2 {

Control& Window::add(Control c) {
    controls.push_back(std::move(c));
    ++revision;
    return controls.back();
}

Control* Window::find(const std::string& name) {
    for (auto& c : controls)
        if (c.name == name) return &c;
    return nullptr;
}

const Control* Window::find(const std::string& name) const {
    for (const auto& c : controls)
        if (c.name == name) return &c;
    return nullptr;
}

Control& Window::get(const std::string& name) {
    if (auto* c = find(name)) return *c;
    throw std::logic_error("no control " + name);
}

const Cell& Window::cell(int column, int row) const {
    static const Cell outside{};
    if (column < 1 || column > grid_columns || row < 1 || row > grid_rows) return outside;
    return cells[(row - 1) * grid_columns + (column - 1)];
}

std::string Window::row_text(int row, int column, int width) const {
    std::string s;
    for (int c = column; c < column + width; ++c) append_utf8(s, cell(c, row).ch);
    return s;
}

int scaled_px(int px, int dpi) {
    const long long scaled = (static_cast<long long>(px) * dpi * 2 + model_dpi) / (2 * model_dpi);
    return static_cast<int>(px >= 0 ? scaled : -scaled_px(-px, dpi));
}

PixelRect scaled_rect(int left, int top, int width, int height, int dpi) {
    return PixelRect{scaled_px(left, dpi), scaled_px(top, dpi), scaled_px(left + width, dpi),
                     scaled_px(top + height, dpi)};
}

PixelRect scaled_cell(int column, int row, int dpi) {
    return scaled_rect(column * cell_width_px, row * cell_height_px, cell_width_px, cell_height_px,
                       dpi);
}

std::vector<std::size_t> stacking_order(const Window& w) {
    std::vector<std::size_t> order(w.controls.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&w](std::size_t a, std::size_t b) {
        return w.controls[a].level < w.controls[b].level;
    });
    return order;
}

Control placed_control(const char* name, ControlKind kind, int left, int top, int width, int height,
                       const char* caption, bool enabled) {
    Control c;
    c.name = name;
    c.kind = kind;
    c.placed = true;
    c.left = left;
    c.top = top;
    c.width = width;
    c.height = height;
    c.caption = caption;
    c.enabled = enabled;
    return c;
}

Control holder_control(const char* name, ControlKind kind) {
    Control c;
    c.name = name;
    c.kind = kind;
    c.visible = false;
    return c;
}

void grid_locate(Window& w, int column, int row) {
    w.cursor_column = column;
    w.cursor_row = row;
}

void grid_print(Window& w, const std::string& text) {
    for (char32_t ch : utf8_or_latin1_characters(text)) {
        int c = w.cursor_column, r = w.cursor_row;
        if (c >= 1 && c <= grid_columns && r >= 1 && r <= grid_rows)
            w.cells[(r - 1) * grid_columns + (c - 1)] = Cell{ch, w.draw_colour, w.emphasis};
        ++w.cursor_column;
    }
    ++w.revision;
}

void set_enabled(Window& w, const std::string& name, bool enabled) {
    if (auto* c = w.find(name)) {
        c->enabled = enabled;
        ++w.revision;
    }
}

void set_caption(Window& w, const std::string& name, const std::string& caption) {
    if (auto* c = w.find(name)) {
        c->caption = caption;
        ++w.revision;
    }
}

} // namespace velk2
