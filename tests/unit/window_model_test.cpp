#include <gtest/gtest.h>

#include "platform/window_model.h"
#include "shell/window_layout.h"

namespace velk2 {
namespace {

struct PrintCase {
    const char* bytes;
    int cells;         // how far the cursor moves
    const char* shown; // row_text of those cells
};

TEST(GridPrint, OneCellPerCharacterOtherBytesAsLatin1) {
    const PrintCase cases[] = {
        {"/M\xC3\xBCll", 5, "/M\xC3\xBCll"}, // a UTF-8 path
        {"\xE2\x82\xAC\xF0\x9F\x98\x80", 2, "\xE2\x82\xAC\xF0\x9F\x98\x80"},
        {"\xE9t\xE9", 3, "\xC3\xA9t\xC3\xA9"},                       // Latin-1 bytes from the box
        {"\xC3", 1, "\xC3\x83"},                                     // cut short at the end
        {"\xE2\x82-", 3, "\xC3\xA2\xC2\x82-"},                       // cut short before a character
        {"\xC0\xAF", 2, "\xC3\x80\xC2\xAF"},                         // overlong
        {"\xED\xA0\x80", 3, "\xC3\xAD\xC2\xA0\xC2\x80"},             // surrogate
        {"\xF4\x90\x80\x80", 4, "\xC3\xB4\xC2\x90\xC2\x80\xC2\x80"}, // past U+10FFFF
    };
    for (const auto& c : cases) {
        Window w;
        grid_locate(w, 10, 3);
        grid_print(w, c.bytes);
        EXPECT_EQ(w.cursor_column - 10, c.cells) << c.shown;
        EXPECT_EQ(w.row_text(3, 10, c.cells), c.shown);
    }
}

// The window on displays of other DPIs: each edge scales on its own, so the
// buttons that share an edge in the layout still share it (no gap, no
// overlap), the buttons still span the whole width, and the panel's cells
// still tile it.
TEST(ScaledLayout, EdgesScaleSoNeighboursStillTouch) {
    const struct {
        int dpi;
        const char* name;
        PixelRect rect;
    } samples[] = {
        {96, "cm1", {0, 50, 600, 75}},     {96, "speed", {5, 52, 125, 73}},
        {120, "cm3", {0, 31, 1000, 63}},   {120, "speed", {6, 65, 156, 91}},
        {144, "cm4", {0, 113, 1200, 150}}, {144, "cg1", {900, 75, 1200, 113}},
        {192, "im1", {0, 364, 860, 1064}}, {168, "cm2", {0, 0, 1400, 44}},
    };
    const auto rect_of = [](const PlacedSpec& p, int dpi) {
        return scaled_rect(p.left, p.top, p.width, p.height, dpi);
    };
    for (const auto& s : samples) {
        SCOPED_TRACE(std::string(s.name) + " at " + std::to_string(s.dpi));
        for (const PlacedSpec& p : placed) {
            if (std::string(p.name) != s.name) continue;
            const PixelRect r = rect_of(p, s.dpi);
            EXPECT_EQ(r.left, s.rect.left);
            EXPECT_EQ(r.top, s.rect.top);
            EXPECT_EQ(r.right, s.rect.right);
            EXPECT_EQ(r.bottom, s.rect.bottom);
        }
    }
    for (int dpi : {96, 110, 120, 144, 168, 192, 240, 288}) {
        SCOPED_TRACE("dpi " + std::to_string(dpi));
        const int width = scaled_px(800, dpi);
        for (const PlacedSpec& a : placed) {
            for (const PlacedSpec& b : placed) {
                if (a.left + a.width == b.left) {
                    EXPECT_EQ(rect_of(a, dpi).right, rect_of(b, dpi).left) << a.name << b.name;
                }
                if (a.top + a.height == b.top) {
                    EXPECT_EQ(rect_of(a, dpi).bottom, rect_of(b, dpi).top) << a.name << b.name;
                }
            }
            if (a.left + a.width == 800) {
                EXPECT_EQ(rect_of(a, dpi).right, width) << a.name;
            }
        }
        for (int row = 0; row < grid_rows; ++row) {
            for (int column = 0; column + 1 < grid_columns; ++column) {
                const PixelRect cell = scaled_cell(column, row, dpi);
                ASSERT_EQ(cell.right, scaled_cell(column + 1, row, dpi).left);
                ASSERT_EQ(cell.bottom, scaled_cell(column, row + 1, dpi).top);
                ASSERT_GE(cell.right - cell.left, dpi / 12 - 1);
            }
        }
        EXPECT_EQ(scaled_cell(99, 0, dpi).right, width); // 100 columns fill the window
    }
}

} // namespace
} // namespace velk2
