// The information panel drawn with GDI: the window's character grid on
// black, one cell 8 x 15 pixels, column 1 at the left edge and row 1 at the
// top, each character in its cell's colour (0xRRGGBB), bold with emphasis.
#pragma once

#include <vector>

#include "platform/win32/win32_api.h"
#include "platform/window_model.h"

namespace velk2 {

class GridPainter {
  public:
    GridPainter();

    // Paints the cells that lie in `area` (client pixels) onto `dc`.
    void paint(HDC dc, const RECT& area, const std::vector<Cell>& cells) const;

    // The client rectangle that changed between two grids, empty when none.
    static RECT changed_area(const std::vector<Cell>& before, const std::vector<Cell>& after);

  private:
    OwnedFont plain_, bold_;
    int baseline_offset_ = 0; // from the top of a row to the top of the glyphs
};

} // namespace velk2
