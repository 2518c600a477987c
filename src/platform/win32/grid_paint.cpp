#include "platform/win32/grid_paint.h"

#include <algorithm>

namespace velk2 {

namespace {

// A glyph may reach a pixel or two into its neighbours (bold), so a changed
// cell repaints a little wider than itself.
constexpr int overhang_px = 2;

HFONT fixed_font(const wchar_t* face, int pixels, bool bold) {
    return CreateFontW(-pixels, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       NONANTIALIASED_QUALITY, FIXED_PITCH | FF_MODERN, face);
}

struct Measure {
    std::wstring face;
    int advance = 0; // of "M", less the overhang that a made-up bold adds
    int height = 0;
};

Measure measure(HDC dc, HFONT font) {
    const HGDIOBJ old = SelectObject(dc, font);
    Measure m;
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    m.face = face;
    SIZE size{};
    GetTextExtentPoint32W(dc, L"M", 1, &size);
    TEXTMETRICW t{};
    GetTextMetricsW(dc, &t);
    m.advance = size.cx - t.tmOverhang;
    m.height = t.tmHeight;
    SelectObject(dc, old);
    return m;
}

bool same(const Cell& a, const Cell& b) {
    return a.ch == b.ch && a.colour == b.colour && a.emphasis == b.emphasis;
}

int CALLBACK note_found(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

} // namespace

bool font_installed(const wchar_t* face) {
    LOGFONTW want{};
    want.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(want.lfFaceName, face, LF_FACESIZE);
    bool found = false;
    const OwnedDc dc(CreateCompatibleDC(nullptr));
    EnumFontFamiliesExW(dc.get(), &want, note_found, reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

GridPainter::GridPainter(int dpi) : dpi_(dpi) {
    const int cell_w = scaled_px(cell_width_px, dpi);
    const int cell_h = scaled_px(cell_height_px, dpi);
    const OwnedDc dc(CreateCompatibleDC(nullptr));
    // "Fixedsys" is a bitmap face: it comes in a few sizes only (8 x 15 at
    // 96 DPI, whole multiples of it), so it is taken where one of them fills
    // the cell: as wide as the cell, not taller, and at least three quarters
    // as tall. Elsewhere, and where it is missing, "Courier New" takes the
    // largest size whose characters fit the cell, plain and bold.
    bool fixedsys = false;
    if (font_installed(L"Fixedsys")) {
        plain_.reset(fixed_font(L"Fixedsys", cell_h, false));
        bold_.reset(fixed_font(L"Fixedsys", cell_h, true));
        const Measure plain = measure(dc.get(), plain_.get());
        const Measure bold = measure(dc.get(), bold_.get());
        fixedsys = plain.advance == cell_w && bold.advance == cell_w && plain.height <= cell_h &&
                   plain.height * 4 >= cell_h * 3;
    }
    if (!fixedsys) {
        for (int px = cell_h; px > 4; --px) {
            plain_.reset(fixed_font(L"Courier New", px, false));
            bold_.reset(fixed_font(L"Courier New", px, true));
            if (measure(dc.get(), plain_.get()).advance <= cell_w &&
                measure(dc.get(), bold_.get()).advance <= cell_w)
                break;
        }
    }
    const Measure plain = measure(dc.get(), plain_.get());
    face_ = plain.face;
    plain_advance_ = plain.advance;
    bold_advance_ = measure(dc.get(), bold_.get()).advance;
    text_height_ = plain.height;
    baseline_offset_ = std::max(0, (cell_h - plain.height) / 2);
}

void GridPainter::paint(HDC dc, const RECT& area, const std::vector<Cell>& cells) const {
    FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    SetBkMode(dc, TRANSPARENT);
    SetTextAlign(dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
    const HGDIOBJ old = SelectObject(dc, plain_.get());
    for (int row = 0; row < grid_rows; ++row) {
        const PixelRect line = scaled_cell(0, row, dpi_);
        if (line.bottom <= area.top || line.top >= area.bottom) continue;
        for (int col = 0; col < grid_columns; ++col) {
            const Cell& cell = cells[std::size_t(row * grid_columns + col)];
            if (cell.ch == U' ' || cell.ch == 0) continue;
            const PixelRect box = scaled_cell(col, row, dpi_);
            if (box.right + overhang_px <= area.left || box.left - overhang_px >= area.right)
                continue;
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
            TextOutW(dc, box.left, box.top + baseline_offset_, text, n);
        }
    }
    SelectObject(dc, old);
}

RECT GridPainter::changed_area(const std::vector<Cell>& before,
                               const std::vector<Cell>& after) const {
    RECT area{0, 0, 0, 0};
    const std::size_t n = std::min(before.size(), after.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (same(before[i], after[i])) continue;
        const PixelRect box = scaled_cell(int(i) % grid_columns, int(i) / grid_columns, dpi_);
        const RECT cell{box.left - overhang_px, box.top, box.right + overhang_px, box.bottom};
        UnionRect(&area, &area, &cell);
    }
    return area;
}

} // namespace velk2
