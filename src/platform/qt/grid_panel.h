// The information panel: the window's character grid painted on black, one
// cell 8 x 15 pixels, column 1 at the left edge and row 1 at the top. A cell
// holds one character, drawn in the cell's colour (0xRRGGBB), bold when the
// cell was printed with emphasis.
#pragma once

#include <QFont>
#include <QWidget>
#include <vector>

#include "platform/window_model.h"

namespace velk2 {

// The platform's fixed-pitch font at the largest pixel size whose characters
// fit an 8-pixel cell, plain or bold.
QFont grid_font();

class GridPanel : public QWidget {
  public:
    explicit GridPanel(QWidget* parent);

    // Takes the model's cells; repaints only the cells that changed.
    void show_cells(const std::vector<Cell>& cells);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::vector<Cell> cells_;
    QFont plain_, bold_;
    int baseline_ = 0; // from the top of a row
};

} // namespace velk2
