#include "platform/win32/grid_paint.h"

#include <algorithm>

namespace velk2 {

namespace {

// A glyph may reach a pixel or two into its neighbours (bold), so a changed
// cell repaints a little wider than itself.
constexpr int overhang_px = 2;

HFONT fixed_font(int pixels, bool bold) {
    return CreateFontW(-pixels, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       NONANTIALIASED_QUALITY, FIXED_PITCH | FF_MODERN, L"Courier New");
}

int advance_of_m(HDC dc, HFONT font) {
    const HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32W(dc, L"M", 1, &size);
    SelectObject(dc, old);
    return size.cx;
}

bool same(const Cell& a, const Cell& b) {
    return a.ch == b.ch && a.colour == b.colour && a.emphasis == b.emphasis;
}

} // namespace

GridPainter::GridPainter() {
    // The largest pixel size whose characters fit an 8-pixel cell, plain and bold.
    const OwnedDc dc(CreateCompatibleDC(nullptr));
    for (int px = cell_height_px; px > 4; --px) {
        plain_.reset(fixed_font(px, false));
        bold_.reset(fixed_font(px, true));
        if (advance_of_m(dc.get(), plain_.get()) <= cell_width_px &&
            advance_of_m(dc.get(), bold_.get()) <= cell_width_px)
            break;
    }
    const HGDIOBJ old = SelectObject(dc.get(), plain_.get());
    TEXTMETRICW m{};
    GetTextMetricsW(dc.get(), &m);
    SelectObject(dc.get(), old);
    baseline_offset_ = std::max(0, int(cell_height_px - m.tmHeight) / 2);
}

void GridPainter::paint(HDC dc, const RECT& area, const std::vector<Cell>& cells) const {
    FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    const int first_row = std::max(0, int(area.top) / cell_height_px);
    const int last_row = std::min(grid_rows - 1, int(area.bottom) / cell_height_px);
    const int first_col = std::max(0, int(area.left) / cell_width_px - 1);
    const int last_col = std::min(grid_columns - 1, int(area.right) / cell_width_px + 1);
    SetBkMode(dc, TRANSPARENT);
    SetTextAlign(dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
    const HGDIOBJ old = SelectObject(dc, plain_.get());
    for (int row = first_row; row <= last_row; ++row) {
        for (int col = first_col; col <= last_col; ++col) {
            const Cell& cell = cells[std::size_t(row * grid_columns + col)];
            if (cell.ch == U' ' || cell.ch == 0) continue;
            SelectObject(dc, cell.emphasis ? bold_.get() : plain_.get());
            // 0xRRGGBB in the model, 0x00BBGGRR for GDI.
            SetTextColor(
                dc, RGB((cell.colour >> 16) & 0xFF, (cell.colour >> 8) & 0xFF, cell.colour & 0xFF));
            wchar_t text[2];
            int n = 1;
            if (cell.ch > 0xFFFF) {
                const char32_t v = cell.ch - 0x10000;
                text[0] = wchar_t(0xD800 + (v >> 10));
                text[1] = wchar_t(0xDC00 + (v & 0x3FF));
                n = 2;
            } else {
                text[0] = wchar_t(cell.ch);
            }
            TextOutW(dc, col * cell_width_px, row * cell_height_px + baseline_offset_, text, n);
        }
    }
    SelectObject(dc, old);
}

RECT GridPainter::changed_area(const std::vector<Cell>& before, const std::vector<Cell>& after) {
    RECT area{0, 0, 0, 0};
    const std::size_t n = std::min(before.size(), after.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (same(before[i], after[i])) continue;
        const int column = int(i) % grid_columns, row = int(i) / grid_columns;
        const RECT cell{column * cell_width_px - overhang_px, row * cell_height_px,
                        (column + 1) * cell_width_px + overhang_px, (row + 1) * cell_height_px};
        UnionRect(&area, &area, &cell);
    }
    return area;
}

} // namespace velk2
