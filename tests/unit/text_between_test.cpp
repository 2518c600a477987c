#include "shell/text_between.h"

#include <gtest/gtest.h>

namespace velk2 {
namespace {

TEST(TextBetween, Marks) {
    const struct {
        const char *text, *left, *right, *result;
    } cases[] = {
        {"VELK_(COM7).exe", "(COM", ")", "7"},
        {"VELK_().EXE", "(", ")", ""},
        {"abc", "(", ")", ""},
        {"VELK_(com5).exe", "(COM", ")", ""},
        {"VELK_(COM3)(DBG2).exe", "(", ")", "COM3"},
        {"x (COM3){C:\\d\\x.dsp}", "{", "}", "C:\\d\\x.dsp"},
        {"C:\\v.exe \"C:\\fw\\a.dsp\" \"b\"", " \"", "\"", "C:\\fw\\a.dsp"},
        {"abc(def", "(", ")", ""},
        {"abc)def", "", ")", "abc"},
        {"abc(def", "(", "", "def"},
        {"a)b(c)", "(", ")", "c"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(text_between(c.text, c.left, c.right), c.result) << c.text;
}

} // namespace
} // namespace velk2
