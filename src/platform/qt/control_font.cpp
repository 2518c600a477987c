#include "platform/qt/control_font.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QStyle>
#include <QStyleOptionButton>

namespace velk2 {

namespace {

constexpr double dialog_points = 8.0;
constexpr double smallest_points = 6.0;

// The width the style draws a caption in: inside a button's frame, right of
// a check box's indicator.
int caption_room(const QAbstractButton* control) {
    QStyleOptionButton option;
    option.initFrom(control);
    const auto element = qobject_cast<const QCheckBox*>(control) ? QStyle::SE_CheckBoxContents
                                                                 : QStyle::SE_PushButtonContents;
    return control->style()->subElementRect(element, &option, control).width();
}

} // namespace

void fit_caption_font(QAbstractButton* control) {
    const int room = caption_room(control);
    QFont font = QGuiApplication::font();
    for (double points = dialog_points;; points -= 0.5) {
        font.setPointSizeF(points);
        if (points <= smallest_points ||
            QFontMetrics(font).horizontalAdvance(control->text()) <= room)
            break;
    }
    if (control->font() != font) control->setFont(font);
}

} // namespace velk2
