// One exchange on the port at a time: a press made where a running exchange
// lets events run starts nothing, and the running exchange ends as if nobody
// had pressed.
#include <gtest/gtest.h>

#include "role_line.h"
#include "serial/primitives.h"
#include "shell/file_selection.h"

namespace velk2 {
namespace {

struct Press {
    const char* name;
    void (*click)(Context&);
};

const Press upload{"Upload to Box", cm1_Click}, download{"Download from Box", cg1_Click},
    service{"Service to Box", cmbinup_Click}, getfuji{"Getfuji", cmgetfuji_Click},
    live{"fuji Live", cmchgfuji_Click}, def{"fuji Def", cmdeffuji_Click},
    put{"fuji Put", cmputfuji_Click};
const std::vector<Press> every_press = {upload, download, service, getfuji, live, def, put};

// An exchange that holds the port while events run.
template <Exchange exchange> void holding(Context& ctx) {
    ctx.exchange = exchange;
    process_events(ctx);
    ctx.exchange = Exchange::none;
}

struct Reentry {
    const char* name;
    void (*outer)(Context&);
    bool stop_first; // "STOP upload" pressed first, closing the port
    const char* refusal;
    std::vector<Press> presses;
};

const Reentry reentries[] = {
    {"an upload", holding<Exchange::upload>, false, "upload running", every_press},
    {"a download", holding<Exchange::download>, false, "download running", every_press},
    {"a service upload", holding<Exchange::service>, false, "service running", every_press},
    {"a fuji operation", holding<Exchange::fuji>, false, "fuji running", every_press},
    {"Service to Box between its pieces",
     cmbinup_Click,
     false,
     "service running",
     {getfuji, def, download}},
    {"Service to Box after STOP", cmbinup_Click, true, "service running", {service, upload, put}},
    {"fuji Live showing WORK", cmchgfuji_Click, false, "fuji running", {getfuji}},
    {"fuji Def at its end", cmdeffuji_Click, false, "fuji running", {download}},
    {"fuji Put after STOP", cmputfuji_Click, true, "fuji running", {service}},
};

// What a run left behind: the window's record and the writes (a press's own
// title aside), the opens, the message boxes, and whether the refusal was
// said.
struct Outcome {
    std::vector<std::string> calls;
    int opens;
    std::size_t messages;
    bool refused;
};

Outcome run(const Reentry& r, const Press* press) {
    test::MonitorBench b;
    // A BIN file selected: every press has something to start.
    test::write_file(b.h.dir / "svc.bin", test::pattern_bytes(2048));
    b.h.ctx.upload_file = b.h.dir / "svc.bin";
    apply_selected_file(b.h.ctx);
    b.h.platform.right_button_from_us = 0; // fuji Live writes once
    b.h.platform.at(0, [&] {
        if (r.stop_first) cm4_Click(b.h.ctx);
        if (press) press->click(b.h.ctx);
    });

    r.outer(b.h.ctx);

    Outcome o{{}, b.h.line.open_count, b.h.platform.messages.size(), false};
    for (const std::string& c : b.rec.calls)
        if (!c.starts_with("title ")) o.calls.push_back(c);
    for (const std::string& l : b.h.platform.diag_lines) o.refused |= l == r.refusal;
    EXPECT_EQ(b.h.ctx.exchange, Exchange::none);
    EXPECT_FALSE(b.h.line.open);
    return o;
}

TEST(ExchangeGuard, APressInsideARunningExchangeStartsNothing) {
    for (const Reentry& r : reentries) {
        const Outcome alone = run(r, nullptr);
        for (const Press& p : r.presses) {
            SCOPED_TRACE(std::string(p.name) + " inside " + r.name);
            const Outcome o = run(r, &p);
            EXPECT_TRUE(o.refused);
            EXPECT_EQ(o.calls, alone.calls);
            EXPECT_EQ(o.opens, alone.opens);
            EXPECT_EQ(o.messages, alone.messages);
        }
    }
}

} // namespace
} // namespace velk2
