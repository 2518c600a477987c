#include <gtest/gtest.h>

#include "fuji/fuji_def.h"
#include "fuji/fuji_live.h"
#include "fuji/fuji_put.h"
#include "fuji/getfuji.h"
#include "fuji_monitor_box.h"
#include "hex_text.h"

namespace velk2 {
namespace {

using test::from_hex;
using test::FujiBench;

struct Operation {
    const char* button;
    const char* caption;
    const char* caption_at_work;
    const char* first_command; // head of the first command after the ping
};

const Operation operations[] = {
    {"cmgetfuji", "Getfuji", "Getfuji", "0C 00 A8 CC 00 0F"},
    {"cmchgfuji", "fuji Live", "WORK", "08 00 A8 F0 00 0F FF FF"},
    {"cmdeffuji", "fuji Def", "WORK", "00 80 DE 30 00 00 80 00 00"},
    {"cmputfuji", "fuji Put", "WORK", "00 80 DD 30 00 00 80 09 00"},
};

// Each button runs its own operation inside the frame: the button is
// disabled and the port open while the body runs, and all is put back after.
TEST(FujiFrame, ButtonsRunTheirOperations) {
    for (const Operation& op : operations) {
        SCOPED_TRACE(op.button);
        FujiBench b;
        b.h.platform.mouse = 2; // fuji Live: one write only
        bool enabled_at_work = true;
        std::string caption_at_work;
        b.box.on_command = [&](const std::string& command) {
            if (command[0] == 0x07) return;
            if (caption_at_work.empty()) {
                enabled_at_work = b.h.ctx.window.get(op.button).enabled;
                caption_at_work = b.h.ctx.window.get(op.button).caption;
            }
        };

        b.h.ctx.window.get(op.button).on_click();

        ASSERT_GE(b.h.line.writes.size(), 2u);
        EXPECT_EQ(b.h.line.writes[0].bytes, from_hex("07"));
        EXPECT_EQ(b.h.line.writes[0].baud, "38400");
        const std::string first = from_hex(op.first_command);
        EXPECT_EQ(b.h.line.writes[1].bytes.substr(0, first.size()), first);
        EXPECT_FALSE(enabled_at_work);
        EXPECT_EQ(caption_at_work, op.caption_at_work);
        EXPECT_TRUE(b.h.ctx.window.get(op.button).enabled);
        EXPECT_EQ(b.h.ctx.window.get(op.button).caption, op.caption);
        EXPECT_FALSE(b.h.line.open);
    }
}

struct PingCase {
    const char* name;
    std::function<void(FujiBench&)> spoil;
    std::size_t writes; // the ping or nothing
};

// Without an exact 0xD4 0x00 to the ping nothing else is sent, "getfuji" and
// the title stay as they were.
TEST(FujiFrame, NoBodyWithoutTheMonitorsPingReply) {
    const PingCase cases[] = {
        {"D4 00 00", [](FujiBench& b) { b.box.ping_answer = from_hex("D4 00 00"); }, 1},
        {"D4 alone", [](FujiBench& b) { b.box.ping_answer = from_hex("D4"); }, 1},
        {"23 00", [](FujiBench& b) { b.box.ping_answer = from_hex("23 00"); }, 1},
        {"silent", [](FujiBench& b) { b.box.silent_from = 0; }, 1},
        {"late", [](FujiBench& b) { b.box.reply_delay_us = 230'000; }, 1},
        {"port busy", [](FujiBench& b) { b.h.line.refuse_open = true; }, 0},
    };
    for (const Operation& op : operations) {
        for (const PingCase& c : cases) {
            SCOPED_TRACE(std::string(op.button) + ", ping " + c.name);
            FujiBench b;
            c.spoil(b);
            test::write_file("getfuji", "earlier");
            b.h.ctx.window.title = "before";

            b.h.ctx.window.get(op.button).on_click();

            EXPECT_EQ(b.h.line.writes.size(), c.writes);
            EXPECT_EQ(test::read_file("getfuji"), "earlier");
            EXPECT_EQ(b.h.ctx.window.title, "before");
            EXPECT_TRUE(b.h.ctx.window.get(op.button).enabled);
            EXPECT_EQ(b.h.ctx.window.get(op.button).caption, op.caption);
            EXPECT_FALSE(b.h.line.open);
            EXPECT_TRUE(b.h.platform.messages.empty());
        }
    }
}

} // namespace
} // namespace velk2
