#include <gtest/gtest.h>

#include "fuji/fuji_data.h"
#include "role_line.h"

namespace velk2 {
namespace {

using test::MonitorBench;

struct StopCase {
    const char* name;
    std::int64_t right_button_from_us;
    int mouse;
    int lost_after; // the line vanishes after this many Live writes (0: never)
    std::size_t writes;
};

// The loop runs no events, so it must see the button state as it is, and a
// line that is gone must end it as surely, at once.
TEST(FujiLive, WritesUntilTheAbortRequestOrALostLine) {
    constexpr std::size_t many = 0;
    const StopCase cases[] = {
        {"right button held from 300 ms on", 300'000, 0, 0, many},
        {"right button held at the start", 0, 0, 0, 1},
        {"left and right held at the start", 10'000'000, 3, 0, 1},
        {"line lost after the third write", 10'000'000, 0, 3, 3},
    };
    for (const StopCase& c : cases) {
        SCOPED_TRACE(c.name);
        MonitorBench b;
        b.h.platform.right_button_from_us = c.right_button_from_us;
        b.h.platform.mouse = c.mouse;
        b.h.line.on_write = [&c, n = 0, box = b.h.line.on_write](HeadlessLine& l,
                                                                 const std::string& s) mutable {
            box(l, s);
            if (c.lost_after && ++n == c.lost_after + 1) l.lost = true;
        };

        cmchgfuji_Click(b.h.ctx);

        const std::size_t writes = b.h.line.writes.size() - 1;
        std::string story = "07";
        for (std::size_t i = 0; i < writes; ++i) story += ", 08 00 A8 F0 00 0F +64";
        EXPECT_EQ(b.story(), story);
        EXPECT_EQ(b.memory(live_block, 64), std::string(64, '\xFF'));
        if (c.writes == many) {
            EXPECT_GT(writes, 10u);
            // None after the request, and none missed before it.
            EXPECT_LT(b.h.line.writes.back().at_us, 300'000);
            EXPECT_GT(b.h.line.writes.back().at_us, 290'000);
        } else {
            EXPECT_EQ(writes, c.writes);
        }
        EXPECT_LT(b.h.platform.now_us() - b.h.line.writes.back().at_us, 50'000);
        EXPECT_FALSE(b.h.line.open);
    }
}

// Single bytes are taken until a 0x00: other bytes never end the wait, and a
// late 0x00 still does.
TEST(FujiLive, OnlyAZeroByteAcknowledgesAWrite) {
    MonitorBench b;
    b.h.line.on_write = [&b](HeadlessLine& l, const std::string& bytes) {
        if (bytes == "\x07") return l.send(test::from_hex("D4 00"), 1000);
        l.send("\x01\xFF\x02", 1000, 1000);
        l.send(std::string(1, '\0'), 50'000);
        if (l.writes.size() == 2) b.h.platform.right_button_from_us = l.now_us() + 60'000;
    };

    cmchgfuji_Click(b.h.ctx);

    ASSERT_EQ(b.h.line.writes.size(), 3u);
    EXPECT_GE(b.h.line.writes[2].at_us - b.h.line.writes[1].at_us, 50'000);
}

} // namespace
} // namespace velk2
