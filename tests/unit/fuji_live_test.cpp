#include <gtest/gtest.h>

#include <stdexcept>

#include "fuji/fuji_live.h"
#include "fuji_monitor_box.h"
#include "hex_text.h"

namespace velk2 {
namespace {

using test::from_hex;
using test::FujiBench;

const std::string live_write = from_hex("08 00 A8 F0 00 0F") + std::string(64, '\xFF');

// A loop that never stops ends the test instead of hanging it.
void limit_writes(const FujiBench& b) {
    if (b.h.line.writes.size() > 100'000) throw std::runtime_error("fuji Live never stopped");
}

TEST(FujiLive, WritesUntilTheAbortRequest) {
    FujiBench b;
    std::int64_t abort_at_us = -1;
    std::string caption_while_writing;
    b.box.on_command = [&](const std::string&) {
        limit_writes(b);
        caption_while_writing = b.h.ctx.window.get("cmchgfuji").caption;
        // The user holds the right button down from 300 ms on; the loop runs
        // no events, so it must see the button state as it is.
        if (abort_at_us < 0 && b.h.platform.now_us() >= 300'000) {
            b.h.platform.mouse = 2;
            abort_at_us = b.h.platform.now_us();
        }
    };

    cmchgfuji_Click(b.h.ctx);

    const std::vector<std::string> writes = b.after_ping();
    EXPECT_GT(writes.size(), 10u);
    for (const std::string& w : writes) ASSERT_EQ(w, live_write);
    EXPECT_EQ(b.h.line.writes.back().at_us, abort_at_us); // none after the request
    EXPECT_EQ(caption_while_writing, "WORK");
    EXPECT_EQ(b.h.ctx.window.get("cmchgfuji").caption, "fuji Live");
    EXPECT_TRUE(b.h.ctx.window.get("cmchgfuji").enabled);
    EXPECT_FALSE(b.h.line.open);
}

struct StopCase {
    const char* name;
    std::function<void(FujiBench&)> arrange;
    std::size_t writes;
};

TEST(FujiLive, StopsOnAbortAtTheStartAndOnALostLine) {
    const StopCase cases[] = {
        {"abort held at the start", [](FujiBench& b) { b.h.platform.mouse = 2; }, 1},
        {"left and right held", [](FujiBench& b) { b.h.platform.mouse = 3; }, 1},
        // Lost while waiting for the third acknowledgement.
        {"line lost after the third write",
         [](FujiBench& b) {
             b.box.on_command = [&b](const std::string& c) {
                 limit_writes(b);
                 if (c[0] == 0x08 && b.box.count(0x08) == 3) b.h.line.lost = true;
             };
         },
         3},
    };
    for (const StopCase& c : cases) {
        SCOPED_TRACE(c.name);
        FujiBench b;
        c.arrange(b);
        cmchgfuji_Click(b.h.ctx);
        EXPECT_EQ(b.after_ping().size(), c.writes);
        EXPECT_EQ(b.h.ctx.window.get("cmchgfuji").caption, "fuji Live");
        EXPECT_FALSE(b.h.line.open);
    }
}

// Step 3 takes single bytes until a 0x00: other bytes never end it, and a
// late 0x00 still does.
TEST(FujiLive, OnlyAZeroByteAcknowledgesAWrite) {
    FujiBench b;
    int writes = 0;
    b.h.line.on_write = [&](HeadlessLine& l, const std::string& bytes) {
        if (bytes == from_hex("07")) return l.send(from_hex("D4 00"), 1000);
        ++writes;
        if (writes == 1) {
            l.send(from_hex("01 FF 02"), 1000, 1000);
            l.send(std::string(1, '\0'), 50'000);
        } else {
            b.h.platform.mouse = 2;
            l.send(std::string(1, '\0'), 1000);
        }
    };

    cmchgfuji_Click(b.h.ctx);

    ASSERT_EQ(b.h.line.writes.size(), 3u);
    EXPECT_GE(b.h.line.writes[2].at_us - b.h.line.writes[1].at_us, 50'000);
}

} // namespace
} // namespace velk2
