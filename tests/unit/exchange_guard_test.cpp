// One exchange on the port at a time: the service upload and the fuji
// operations do not start inside an upload, a download or each other, and
// uploads and downloads do not start inside them.
#include <gtest/gtest.h>

#include "download/download_receive.h"
#include "fuji/fuji_def.h"
#include "fuji/fuji_live.h"
#include "fuji/fuji_put.h"
#include "fuji/getfuji.h"
#include "fuji_monitor_box.h"
#include "hex_text.h"
#include "serial/port_connection.h"
#include "service/service_upload.h"
#include "shell/file_selection.h"
#include "upload/upload_driver.h"

namespace velk2 {
namespace {

using test::FujiBench;

struct Press {
    const char* name;
    void (*click)(Context&);
};

const Press monitor_presses[] = {
    {"Service to Box", cmbinup_Click}, {"Getfuji", cmgetfuji_Click},
    {"fuji Live", cmchgfuji_Click},    {"fuji Def", cmdeffuji_Click},
    {"fuji Put", cmputfuji_Click},
};

const Press transfer_presses[] = {
    {"Upload to Box", cm1_Click},
    {"Download from Box", cg1_Click},
};

struct Running {
    const char* name;
    void (*set)(Context&);
    const char* diag;
};

const Running running_states[] = {
    {"upload", [](Context& c) { c.exchange = Exchange::upload; }, "upload running"},
    {"download", [](Context& c) { c.exchange = Exchange::download; }, "download running"},
    {"service", [](Context& c) { c.exchange = Exchange::service; }, "service running"},
};

// What a press left behind that the refusal must not.
struct Trace {
    int opens;
    std::size_t writes, messages;
    std::vector<bool> enabled;
    bool operator==(const Trace&) const = default;
};

Trace trace(FujiBench& b) {
    std::vector<bool> enabled;
    for (const char* name :
         {"cm1", "cg1", "cmbinup", "cmgetfuji", "cmchgfuji", "cmdeffuji", "cmputfuji"})
        enabled.push_back(b.h.ctx.window.get(name).enabled);
    return {b.h.line.open_count, b.h.line.writes.size(), b.h.platform.messages.size(), enabled};
}

bool has_line(const FujiBench& b, const std::string& line) {
    for (const auto& l : b.h.platform.diag_lines)
        if (l == line) return true;
    return false;
}

// A BIN file selected: every press has something to start.
void select_bin(FujiBench& b) {
    test::write_file(b.h.dir / "svc.bin", test::pattern_bytes(2048));
    b.h.ctx.upload_file = b.h.dir / "svc.bin";
    apply_selected_file(b.h.ctx);
}

TEST(ExchangeGuard, MonitorExchangesRefusedWhileATransferRuns) {
    for (const Running& r : running_states) {
        for (const Press& p : monitor_presses) {
            SCOPED_TRACE(std::string(p.name) + " while " + r.name + " runs");
            FujiBench b;
            select_bin(b);
            b.h.platform.mouse = 2; // an unguarded fuji Live writes once
            r.set(b.h.ctx);
            const Trace before = trace(b);

            p.click(b.h.ctx);

            EXPECT_EQ(trace(b), before);
            EXPECT_TRUE(has_line(b, r.diag));
            EXPECT_FALSE(test::exists("read2"));
            EXPECT_FALSE(test::exists("getfuji"));
        }
    }
}

TEST(ExchangeGuard, UploadAndDownloadRefusedWhileAMonitorExchangeRuns) {
    for (const Press& p : transfer_presses) {
        SCOPED_TRACE(p.name);
        FujiBench b;
        select_bin(b);
        b.h.ctx.exchange = Exchange::service;
        const Trace before = trace(b);

        p.click(b.h.ctx);

        EXPECT_EQ(trace(b), before);
        EXPECT_EQ(b.h.ctx.transfer_state, 0);
        EXPECT_EQ(b.h.ctx.exchange, Exchange::service);
    }
}

// Presses made where the running exchange lets events run, with the port
// open (a fuji button) or after "STOP upload" closed it (any button).
struct NestedCase {
    const char* name;
    void (*outer)(Context&);
    bool stop_first;
    void (*press)(Context&);
};

const NestedCase nested_cases[] = {
    {"Getfuji between service pieces", cmbinup_Click, false, cmgetfuji_Click},
    {"fuji Def between service pieces", cmbinup_Click, false, cmdeffuji_Click},
    {"Download between service pieces", cmbinup_Click, false, cg1_Click},
    {"Service to Box after STOP", cmbinup_Click, true, cmbinup_Click},
    {"Upload to Box (BIN) after STOP", cmbinup_Click, true, cm1_Click},
    {"fuji Put after STOP", cmbinup_Click, true, cmputfuji_Click},
    {"Getfuji while fuji Live shows WORK", cmchgfuji_Click, false, cmgetfuji_Click},
    {"Download while fuji Def ends", cmdeffuji_Click, false, cg1_Click},
    {"Service to Box after STOP in fuji Put", cmputfuji_Click, true, cmbinup_Click},
};

TEST(ExchangeGuard, PressesInsideARunningMonitorExchangeStartNothing) {
    for (const NestedCase& c : nested_cases) {
        SCOPED_TRACE(c.name);
        FujiBench b;
        select_bin(b);
        b.h.platform.mouse = 2; // fuji Live writes once
        bool pressed = false;
        Trace before{}, after{};
        b.h.platform.at(0, [&] {
            if (pressed) return;
            pressed = true;
            if (c.stop_first) cm4_Click(b.h.ctx);
            before = trace(b);
            c.press(b.h.ctx);
            after = trace(b);
        });

        c.outer(b.h.ctx);

        ASSERT_TRUE(pressed);
        EXPECT_EQ(after, before);
        EXPECT_EQ(b.h.ctx.exchange, Exchange::none);
        EXPECT_EQ(b.h.ctx.transfer_state, 0);
        EXPECT_FALSE(b.h.line.open);
    }
}

// Left alone, the outer exchange finishes as if nothing had been pressed.
TEST(ExchangeGuard, ServiceUploadCompletesAroundARefusedFujiPress) {
    FujiBench b;
    select_bin(b);
    const std::string data = b.h.ctx.upload_data;
    int presses = 0;
    b.box.on_command = [&](const std::string& c) {
        if (c[0] == 0x08)
            b.h.platform.at(0, [&] {
                ++presses;
                cmgetfuji_Click(b.h.ctx);
            });
    };

    cmbinup_Click(b.h.ctx);

    EXPECT_EQ(presses, 2);
    EXPECT_EQ(b.box.load(0x008E0000, 2048), data);
    EXPECT_EQ(test::read_file("read2"), data);
    EXPECT_EQ(b.h.line.open_count, 3); // 38400, 230400, 38400: never reopened
    EXPECT_TRUE(b.h.ctx.window.get("cmgetfuji").enabled);
}

} // namespace
} // namespace velk2
