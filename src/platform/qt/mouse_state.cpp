#include "platform/qt/mouse_state.h"

#include <QGuiApplication>
#include <cstring>

#if VELK2_HAVE_X11 && QT_CONFIG(xcb)
#include <QtGui/qguiapplication_platform.h>
// Xlib last: its macros (None, Bool, Status ...) clash with Qt's names.
#include <X11/Xlib.h>
#define VELK2_ASK_X_SERVER 1
#endif

namespace velk2 {

namespace {

int bits_of(Qt::MouseButtons held) {
    int bits = 0;
    if (held & Qt::LeftButton) bits |= 1;
    if (held & Qt::RightButton) bits |= 2;
    if (held & Qt::MiddleButton) bits |= 4;
    return bits;
}

#if VELK2_ASK_X_SERVER
// The pointer state on the X server, or -1 when Qt runs on another platform
// (offscreen, wayland).
int x_server_buttons() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return -1;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->display()) return -1;
    Display* display = x11->display();
    ::Window root = 0, child = 0;
    int root_x = 0, root_y = 0, win_x = 0, win_y = 0;
    unsigned int mask = 0;
    // The mask is valid even when the pointer is on another screen (False).
    XQueryPointer(display, DefaultRootWindow(display), &root, &child, &root_x, &root_y, &win_x,
                  &win_y, &mask);
    int bits = 0;
    if (mask & Button1Mask) bits |= 1;
    if (mask & Button3Mask) bits |= 2;
    if (mask & Button2Mask) bits |= 4;
    return bits;
}
#endif

} // namespace

int held_mouse_buttons() {
#if VELK2_ASK_X_SERVER
    if (int bits = x_server_buttons(); bits >= 0) return bits;
#endif
    return bits_of(QGuiApplication::mouseButtons());
}

std::string mouse_state_problem(const char* platform) {
    for (const char* readable : {"offscreen", "minimal"})
        if (std::strcmp(platform, readable) == 0) return {};
#if VELK2_ASK_X_SERVER
    if (std::strcmp(platform, "xcb") == 0) return {};
#endif
    return std::string("mouse buttons cannot be read on the ") + platform +
           " platform: waits are not cut short with the mouse (QT_QPA_PLATFORM=xcb reads them)";
}

void prefer_x11_platform() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("xcb;wayland"));
}

} // namespace velk2
