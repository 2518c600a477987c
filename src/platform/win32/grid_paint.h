// The information panel drawn with GDI: the window's character grid on
// black, each character in its cell's colour (0xRRGGBB), bold with emphasis.
// One cell is 8 x 15 pixels at 96 DPI and scales with the display (see
// scaled_cell), column 1 at the left edge and row 1 at the top. The text is
// "Fixedsys" where a size of it fills the cell, else "Courier New" sized to
// the cell.
#pragma once

#include <string>
#include <vector>

#include "platform/win32/win32_api.h"
#include "platform/window_model.h"

namespace velk2 {

class GridPainter {
  public:
    explicit GridPainter(int dpi = model_dpi);

    // Paints the cells that lie in `area` (client pixels) onto `dc`.
    void paint(HDC dc, const RECT& area, const std::vector<Cell>& cells) const;

    // The client rectangle that changed between two grids, empty when none.
    RECT changed_area(const std::vector<Cell>& before, const std::vector<Cell>& after) const;

    // The face the system gave for the panel's text, and how far one
    // character advances in it, plain and bold (less the bold's overhang).
    const std::wstring& face() const { return face_; }
    int plain_advance() const { return plain_advance_; }
    int bold_advance() const { return bold_advance_; }
    int text_height() const { return text_height_; }

  private:
    int dpi_;
    OwnedFont plain_, bold_;
    std::wstring face_;
    int plain_advance_ = 0, bold_advance_ = 0, text_height_ = 0;
    int baseline_offset_ = 0; // from the top of a row to the top of the glyphs
};

// True when the system has a font family of this name (not a substitute).
bool font_installed(const wchar_t* face);

} // namespace velk2
