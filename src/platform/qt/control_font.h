// The font of the window's buttons and check boxes. The layout was drawn for
// the small dialog font of its system (8 points), in which every caption fits
// its control; the desktop's general font at 8 points is the same size. A
// caption that still does not fit (a wider font on some desktops) gets that
// font smaller in half points until it does, down to 6 points.
#pragma once

class QAbstractButton;

namespace velk2 {

// Sets the font for the control's current caption and size.
void fit_caption_font(QAbstractButton* control);

} // namespace velk2
