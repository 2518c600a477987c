#include "serial/trace_format.h"

#include <gtest/gtest.h>

namespace velk2 {
namespace {

TEST(TraceFormat, Lines) {
    const struct {
        int code;
        const char* label;
        std::string data;
        std::string line;
    } cases[] = {
        {1, "Open-I", "", "<A> Open-I\r\n"},
        {2, "Open-O", "abc", "<B> Open-O-> 61 62 63 \r\n"},
        {9, "x", " abc", "<I> x: abc\r\n"},
        {3, "z", std::string("\0\xFF", 2), "<C> z-> 00 FF \r\n"},
        {192, "w", "", std::string("<\0> w\r\n", 7)},
    };
    for (const auto& c : cases) EXPECT_EQ(trace_line_text(c.code, c.label, c.data), c.line);
}

TEST(TraceFormat, BlockRecords) {
    const std::string start = "<    start";
    const std::string mid = "  >" + std::string(16, ' ');
    const std::string end = std::string(16, ' ') + "<     end      >" + std::string(16, ' ');
    const struct {
        int code;
        std::string data;
        std::string record;
    } cases[] = {
        {7, "", start + "007" + mid + end},
        {255, "0123456789ABCDEF", start + "255" + mid + "0123456789ABCDEF" + end},
        {12, "x", start + "012" + mid + "x" + std::string(15, ' ') + end},
        {1, std::string(17, '\0'),
         start + "001" + mid + std::string(17, '\0') + std::string(15, ' ') + end},
    };
    for (const auto& c : cases) {
        const std::string record = trace_block_record(c.code, c.data);
        EXPECT_EQ(record, c.record) << c.code;
        EXPECT_EQ(record.size() % 16, 0u);
    }
    EXPECT_EQ(trace_block_record(1, std::string(16, 'd')).size(), 96u);
    EXPECT_EQ(trace_block_record(1, "").size(), 80u);
}

} // namespace
} // namespace velk2
