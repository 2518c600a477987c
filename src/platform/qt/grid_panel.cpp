#include "platform/qt/grid_panel.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

namespace velk2 {

namespace {

bool same(const Cell& a, const Cell& b) {
    return a.ch == b.ch && a.colour == b.colour && a.emphasis == b.emphasis;
}

bool fits_cell(const QFont& font) {
    return QFontMetrics(font).horizontalAdvance(QLatin1Char('M')) <= cell_width_px;
}

// A glyph may reach a pixel or two into its neighbours (bold), so a changed
// cell repaints a little wider than itself.
constexpr int overhang_px = 2;

QRect cell_rect(int index) {
    const int column = index % grid_columns, row = index / grid_columns;
    return QRect(column * cell_width_px - overhang_px, row * cell_height_px,
                 cell_width_px + 2 * overhang_px, cell_height_px);
}

} // namespace

QFont grid_font() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::TypeWriter);
    for (int px = cell_height_px; px > 4; --px) {
        font.setPixelSize(px);
        QFont bold = font;
        bold.setBold(true);
        if (fits_cell(font) && fits_cell(bold)) break;
    }
    return font;
}

GridPanel::GridPanel(QWidget* parent)
    : QWidget(parent), cells_(std::size_t(grid_columns * grid_rows)) {
    plain_ = grid_font();
    bold_ = plain_;
    bold_.setBold(true);
    const QFontMetrics m(plain_);
    baseline_ = std::max(0, (cell_height_px - m.height()) / 2) + m.ascent();
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void GridPanel::show_cells(const std::vector<Cell>& cells) {
    const std::size_t n = std::min(cells.size(), cells_.size());
    QRect changed;
    for (std::size_t i = 0; i < n; ++i) {
        if (same(cells[i], cells_[i])) continue;
        cells_[i] = cells[i];
        changed |= cell_rect(int(i));
    }
    if (!changed.isNull()) update(changed);
}

void GridPanel::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect area = event->rect();
    painter.fillRect(area, Qt::black);
    const int first_row = std::max(0, area.top() / cell_height_px);
    const int last_row = std::min(grid_rows - 1, area.bottom() / cell_height_px);
    const int first_col = std::max(0, area.left() / cell_width_px - 1);
    const int last_col = std::min(grid_columns - 1, area.right() / cell_width_px + 1);
    for (int row = first_row; row <= last_row; ++row) {
        for (int col = first_col; col <= last_col; ++col) {
            const Cell& cell = cells_[std::size_t(row * grid_columns + col)];
            if (cell.ch == U' ' || cell.ch == 0) continue;
            painter.setFont(cell.emphasis ? bold_ : plain_);
            painter.setPen(QColor::fromRgb(QRgb(cell.colour)));
            painter.drawText(QPoint(col * cell_width_px, row * cell_height_px + baseline_),
                             QString::fromUcs4(&cell.ch, 1));
        }
    }
}

} // namespace velk2
