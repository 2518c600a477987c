#include <gtest/gtest.h>

#include "platform/window_model.h"

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

} // namespace
} // namespace velk2
