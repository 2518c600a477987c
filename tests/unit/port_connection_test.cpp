#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "serial/hex_format.h"
#include "serial/port_connection.h"
#include "serial/primitives.h"
#include "support/harness.h"

namespace velk2 {
namespace {

using test::Harness;

// The communication field, the port-open flag and the two buttons.
void expect_port_shown(Harness& h, const std::string& field, bool open) {
    EXPECT_EQ(h.field(28, 11, 40), field + std::string(40 - field.size(), ' '));
    EXPECT_EQ(h.ctx.window.get("ch1").value, open ? 1 : 0);
    EXPECT_EQ(h.ctx.window.get("cm1").enabled, !open);
    EXPECT_EQ(h.ctx.window.get("cm4").enabled, open);
}

TEST(PortConnection, OpenShowsStateSavesLineRecordAndTraces) {
    Harness h("COM3");
    h.ctx.trace_on = true;
    ASSERT_TRUE(port_open(h.ctx, "230400"));
    expect_port_shown(h, "COM3 (OPEN) 230400", true);
    EXPECT_EQ(test::read_file(h.dir / "dcb1").size(), 28u);
    EXPECT_EQ(h.line.baud, "230400");
    const std::string hex = hex_bytes("COM3:230400,n,8,1 ");
    EXPECT_EQ(test::read_file(h.dir / "inp_1.dat"),
              "<A> Open-I-> " + hex + "\r\n<B> Open-O-> " + hex + "\r\n");

    // Opening it again closes it first; STOP closes it.
    ASSERT_TRUE(port_open(h.ctx, "115200"));
    EXPECT_EQ(h.line.open_count, 2);
    EXPECT_EQ(h.line.baud, "115200");
    expect_port_shown(h, "COM3 (OPEN) 115200", true);
    h.ctx.window.get("cm4").on_click();
    EXPECT_FALSE(h.line.open);
    expect_port_shown(h, "COM3 (CLOSED)", false);
    // Closed, it reads nothing and drops writes.
    const auto writes = h.line.writes.size();
    EXPECT_EQ(port_read(h.ctx, 10), "");
    port_send(h.ctx, "C");
    EXPECT_EQ(h.line.writes.size(), writes);
}

// "dcb1" is a debugging aid: a folder where it cannot be written (here a
// folder stands at its name) costs the record and one diagnostic line, never
// the port, however often the port opens.
TEST(PortConnection, UnwritableLineRecordStillOpensThePort) {
    Harness h("COM3");
    std::filesystem::create_directory(h.dir / "dcb1");
    for (const char* baud : {"230400", "115200"}) {
        ASSERT_TRUE(port_open(h.ctx, baud)) << baud;
        expect_port_shown(h, std::string("COM3 (OPEN) ") + baud, true);
        EXPECT_EQ(h.line.baud, baud);
    }
    const auto& d = h.platform.diag_lines;
    EXPECT_EQ(
        std::count_if(d.begin(), d.end(), [](const auto& l) { return l.starts_with("dcb1"); }), 1);
    EXPECT_EQ(std::count_if(d.begin(), d.end(),
                            [](const auto& l) { return l.find("did not open") != l.npos; }),
              0);
}

struct FailCase {
    const char* name;
    void (*spoil)(Harness&);
    bool leaves_dcb1;
    const char* field; // the communication field: port, device, short reason
    const char* diag;
};

TEST(PortConnection, FailedOpenSaysWhyAndLeavesNoOpenOTrace) {
    const FailCase cases[] = {
        {"absent", [](Harness& h) { h.ctx.com_port = "COM9"; }, false,
         "COM9 COM9: no such file or directory",
         "COM9 COM9 did not open: No such file or directory"},
        {"busy", [](Harness& h) { h.line.refuse_open = true; }, false,
         "COM3 COM3: device or resource busy", "COM3 COM3 did not open: Device or resource busy"},
        {"settings read back otherwise", [](Harness& h) { h.line.refuse_settings = true; }, true,
         "COM3 COM3: line settings read back 9600 baud instead of 115200",
         "COM3 COM3 did not open: line settings read back 9600 baud instead of 115200"},
        {"permission denied",
         [](Harness& h) {
             h.platform.port_map["COM3"] = {"/dev/ttyUSB0", "[PORTS]", ""};
             h.platform.add_line("/dev/ttyUSB0").denied_group = "dialout";
         },
         false, "COM3 /dev/ttyUSB0: permission denied",
         "COM3 /dev/ttyUSB0 did not open: Permission denied. Only members of group dialout may "
         "use it: add the user (sudo usermod -aG dialout $USER) and log in again"},
        {"[PORTS] value not a path",
         [](Harness& h) {
             h.platform.port_map["COM3"] = {"ttyUSB0", "[PORTS]",
                                            "[PORTS] value is not an absolute path"};
         },
         false, "COM3 ttyUSB0: [PORTS] value is not an absolute path",
         "COM3 ttyUSB0 did not open: [PORTS] value is not an absolute path"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h("COM3");
        h.ctx.trace_on = true;
        c.spoil(h);
        port_close(h.ctx); // the field shows "(CLOSED)" before
        EXPECT_FALSE(port_open(h.ctx, "115200"));
        EXPECT_EQ(h.field(28, 11, 70), c.field + std::string(70 - std::strlen(c.field), ' '));
        EXPECT_EQ(h.platform.diag_lines.back(), c.diag);
        EXPECT_EQ(h.ctx.window.get("ch1").value, 0);
        EXPECT_TRUE(h.ctx.window.get("cm1").enabled);
        EXPECT_FALSE(h.ctx.window.get("cm4").enabled);
        EXPECT_EQ(test::exists(h.dir / "dcb1"), c.leaves_dcb1);
        const std::string trace = test::read_file(h.dir / "inp_1.dat");
        EXPECT_NE(trace.find("Open-I"), std::string::npos);
        EXPECT_EQ(trace.find("Open-O"), std::string::npos);
        // Nothing stays half-open after the next close, nor of the longer text.
        port_close(h.ctx);
        EXPECT_FALSE(h.line.open);
        EXPECT_EQ(h.field(28, 11, 70), h.ctx.com_port + " (CLOSED)" + std::string(57, ' '));
    }
}

// Both opens carry what the port could not set up: an adapter that still
// holds every reply is marked in the field and its hint goes to the
// diagnostics; a port without anything to say adds nothing.
TEST(PortConnection, OpenMarksASlowAdapterAndPassesItsNoteOn) {
    const struct {
        const char* what;
        bool (*open)(Context&, const std::string&);
        std::optional<int> slow_ms;
        const char* note;
        const char* field;
    } cases[] = {
        {"full open, slow adapter", port_open, 16, "the latency timer holds ...",
         "COM3 (OPEN) 230400, adapter 16 ms"},
        {"plain open, slow adapter", port_open_plain, 16, "the latency timer holds ...",
         "COM3 (OPEN) 230400, adapter 16 ms"},
        {"refused low latency only", port_open, std::nullopt, "the driver kept its latency",
         "COM3 (OPEN) 230400"},
        {"nothing to say", port_open, std::nullopt, "", "COM3 (OPEN) 230400"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Harness h("COM3");
        h.line.slow_adapter_ms = c.slow_ms;
        h.line.open_note = c.note;
        const auto diags = h.platform.diag_lines.size();
        ASSERT_TRUE(c.open(h.ctx, "230400"));
        EXPECT_EQ(h.field(28, 11, 40), c.field + std::string(40 - std::strlen(c.field), ' '));
        const std::vector<std::string> said(h.platform.diag_lines.begin() + diags,
                                            h.platform.diag_lines.end());
        EXPECT_EQ(said, *c.note ? std::vector<std::string>{"COM3 COM3: " + std::string(c.note)}
                                : std::vector<std::string>{});
    }
}

TEST(PortConnection, PlainOpenTouchesNeitherLineRecordNorTrace) {
    Harness h("COM3");
    h.ctx.trace_on = true;
    ASSERT_TRUE(port_open_plain(h.ctx, "38400"));
    EXPECT_FALSE(test::exists(h.dir / "dcb1"));
    EXPECT_FALSE(test::exists(h.dir / "inp_1.dat"));
    expect_port_shown(h, "COM3 (OPEN) 38400", true);
    // The delivered build has no "Service to Box": nothing to enable, no crash.
    EXPECT_EQ(h.ctx.window.find("cmbinup") != nullptr, h.ctx.service_mode);
}

TEST(Primitives, ReadFollowsTheOneMillisecondRecord) {
    Harness h("COM3");
    ASSERT_TRUE(port_open(h.ctx, "230400"));
    auto& p = h.platform;

    // Nothing arrives: n + 1 ms.
    auto t0 = p.now_us();
    EXPECT_EQ(port_read(h.ctx, 1000), "");
    EXPECT_EQ(p.now_us() - t0, 1001000);

    // 5 bytes waiting, n = 3: 3 now, 2 on the next call; a zero byte counts.
    h.line.send(std::string("ab\0cd", 5));
    EXPECT_EQ(port_read(h.ctx, 3), std::string("ab\0", 3));
    EXPECT_EQ(port_read(h.ctx, 3), "cd");

    // A byte and then silence: the read ends 1 ms after it.
    t0 = p.now_us();
    h.line.send("C", 5000);
    EXPECT_EQ(port_read(h.ctx, 1000), "C");
    EXPECT_EQ(p.now_us() - t0, 6000);
}

TEST(Primitives, AbortTestWantsAButtonOtherThanTheLeftOneAlone) {
    Harness h;
    const std::pair<int, bool> cases[] = {{0, false}, {1, false}, {2, true}, {3, true}, {4, true}};
    for (auto [buttons, stop] : cases) {
        h.platform.mouse = buttons;
        EXPECT_EQ(abort_requested(h.ctx), stop) << buttons;
    }
}

} // namespace
} // namespace velk2
