#include <gtest/gtest.h>

#include "fuji/getfuji.h"
#include "fuji_monitor_box.h"
#include "hex_text.h"

namespace velk2 {
namespace {

using test::from_hex;
using test::FujiBench;

// A fuji head with the fields that the summary shows.
std::string head_with(std::uint32_t n) {
    std::string head = test::pattern_bytes(64);
    head.replace(36, 4, le32(0x12345678));
    head.replace(40, 8, "ABCDEFGH");
    head[54] = 7;
    head[55] = 12;
    head.replace(60, 4, le32(n));
    return head;
}

const std::string trail = from_hex("01 02 03 04 EF BE AD DE");

struct GetCase {
    const char* name;
    std::uint32_t n;
    std::function<void(test::MonitorBox&)> fault;
    std::vector<const char*> reads; // the commands after the ping
    bool trail_read;                // "getfuji" holds head + trail, else the head alone
    const char* title;
};

TEST(Getfuji, HeadAndTrailIntoTheFileAndTheTitle) {
    const GetCase cases[] = {
        {"n = 0x10",
         0x10,
         nullptr,
         {"0C 00 A8 CC 00 0F", "0C 60 A8 CC 00 01"},
         true,
         "7:12 ABCDEFGH/ 12345678/ DEADBEEF"},
        {"n = 0: trail right after the head",
         0,
         nullptr,
         {"0C 00 A8 CC 00 0F", "0C 40 A8 CC 00 01"},
         true,
         "7:12 ABCDEFGH/ 12345678/ DEADBEEF"},
        // 32-bit arithmetic: 2 * 0x80000000 wraps to 0.
        {"n = 0x80000000",
         0x80000000,
         nullptr,
         {"0C 00 A8 CC 00 0F", "0C 40 A8 CC 00 01"},
         true,
         "7:12 ABCDEFGH/ 12345678/ DEADBEEF"},
        {"head status 0x01: no trail",
         0x10,
         [](test::MonitorBox& m) { m.read_status[0x00CCA800] = 0x01; },
         {"0C 00 A8 CC 00 0F"},
         false,
         "7:12 ABCDEFGH/ 12345678/ 00000000"},
    };
    for (const GetCase& c : cases) {
        SCOPED_TRACE(c.name);
        FujiBench b;
        if (c.fault) c.fault(b.box);
        const std::string head = head_with(c.n);
        b.box.store(0x00CCA800, head);
        b.box.store(0x00CCA800 + 64 + 2 * c.n, trail);
        test::write_file("getfuji", std::string(100, 'x'));

        b.h.ctx.window.get("cmgetfuji").on_click();

        std::vector<std::string> expected;
        for (const char* r : c.reads) expected.push_back(from_hex(r));
        EXPECT_EQ(b.after_ping(), expected);
        EXPECT_EQ(test::read_file("getfuji"), c.trail_read ? head + trail : head);
        EXPECT_EQ(b.h.ctx.window.title, c.title);
    }
}

TEST(Getfuji, ShortRepliesKeepWhatCameLessTheLastByte) {
    FujiBench b;
    b.box.silent_from = 1; // the head read gets no answer
    b.h.line.on_write = [&b, inner = b.h.line.on_write](HeadlessLine& l, const std::string& s) {
        inner(l, s);
        if (s[0] == 0x0C) l.send(from_hex("41 42 43 00"), 1000); // 3 data bytes and a status
    };
    cmgetfuji_Click(b.h.ctx);

    EXPECT_EQ(b.after_ping().size(), 1u); // a short head never places the trail
    EXPECT_EQ(test::read_file("getfuji"), "ABC");
    EXPECT_EQ(b.h.ctx.window.title, "0:0 / 00000000/ 00000000");
}

TEST(Getfuji, FileNamedByFujiFileAndDiagnosticLines) {
    FujiBench b;
    b.h.ctx.fuji_file = "other";
    b.box.store(0x00CCA800, head_with(0));
    cmgetfuji_Click(b.h.ctx);

    EXPECT_EQ(test::read_file("other").size(), 72u);
    EXPECT_FALSE(test::exists("getfuji"));
    EXPECT_EQ(b.stage_lines(), (std::vector<std::string>{"1", "1 OK"}));
}

} // namespace
} // namespace velk2
