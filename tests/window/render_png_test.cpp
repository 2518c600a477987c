// The window drawn into a PNG: the panel's text in its cells, the buttons
// over it, the picture in the tall window.
#include <QColor>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "platform/qt/render_png.h"
#include "qt_test_app.h"

namespace velk2 {
namespace {

// The brightest pixel in a rectangle (sum of the colour channels).
int brightest(const QImage& image, QRect r) {
    int best = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            best = std::max(best, c.red() + c.green() + c.blue());
        }
    return best;
}

QRect cells(int column, int row, int width) {
    return QRect((column - 1) * cell_width_px, (row - 1) * cell_height_px, width * cell_width_px,
                 cell_height_px);
}

TEST(RenderPng, PanelTextButtonsAndPicture) {
    QTemporaryDir dir;
    const QString red = dir.filePath("logo.jpg");
    QImage logo(100, 100, QImage::Format_RGB32);
    logo.fill(Qt::red);
    ASSERT_TRUE(logo.save(red, "JPG"));

    Window w;
    w.add(placed_control("cm2", ControlKind::button, 0, 0, 800, 25, "*.DSP File select"));
    Control& im1 = w.add(placed_control("im1", ControlKind::image, 0, 182, 430, 350, ""));
    im1.picture = red.toStdString();
    w.emphasis = true;
    grid_locate(w, 2, 8);
    grid_print(w, "Exe filename            :");
    w.emphasis = false;
    grid_locate(w, 28, 8);
    grid_print(w, "VELK_(COM7)");
    grid_locate(w, 91, 12);
    grid_print(w, "\xE9"); // Latin-1 byte

    struct {
        const char* what;
        int height_twips;
        QSize size;
        bool picture_shown;
    } const cases[] = {
        {"normal", 3225, {800, 215}, false},
        {"tall", 15225, {800, 1015}, true},
    };
    for (const auto& c : cases) {
        w.height_twips = c.height_twips;
        ++w.revision;
        const std::string path = dir.filePath(QString("%1.png").arg(c.what)).toStdString();
        ASSERT_TRUE(render_window_png(w, path)) << c.what;
        QImage png(QString::fromStdString(path));
        ASSERT_FALSE(png.isNull()) << c.what;
        EXPECT_EQ(png.size(), c.size) << c.what;

        // Text where it was printed, in white; black where nothing was.
        EXPECT_GT(brightest(png, cells(2, 8, 25)), 600) << c.what;
        EXPECT_GT(brightest(png, cells(28, 8, 11)), 600) << c.what;
        EXPECT_GT(brightest(png, cells(91, 12, 1)), 600) << c.what;
        EXPECT_EQ(brightest(png, cells(40, 8, 20)), 0) << c.what;
        EXPECT_EQ(brightest(png, cells(1, 10, 100)), 0) << c.what;
        // The button covers the panel's first rows.
        EXPECT_GT(brightest(png, QRect(300, 5, 10, 10)), 0) << c.what;

        if (c.picture_shown) {
            // 100 x 100 scaled into 430 x 350 keeping its shape: 350 x 350.
            const QColor inside = png.pixelColor(300, 182 + 300);
            EXPECT_GT(inside.red(), 200) << c.what;
            EXPECT_LT(inside.green(), 60) << c.what;
            EXPECT_EQ(brightest(png, QRect(360, 300, 60, 60)), 0) << c.what;
        }
    }
}

} // namespace
} // namespace velk2
