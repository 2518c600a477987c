#include "platform/qt/render_png.h"

#include <QPixmap>
#include <QWidget>

#include "platform/qt/qt_text.h"
#include "platform/qt/qt_window.h"

namespace velk2 {

bool render_window_png(Window& window, const std::string& path) {
    // No events are delivered to this copy, so no handler can run.
    QtWindow copy(window, [](const std::function<void()>&) {});
    return copy.form()->grab().save(path_to_qstring(path), "PNG");
}

} // namespace velk2
