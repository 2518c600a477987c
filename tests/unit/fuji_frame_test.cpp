// What the monitor operations share: each button runs its own operation in
// the frame (button disabled, ping at 38400, body, port closed, button back),
// nothing but the ping goes out without the monitor's exact reply, and each
// operation writes its own diagnostic transcript.
#include <gtest/gtest.h>

#include <filesystem>

#include "role_line.h"

namespace velk2 {
namespace {

using test::from_hex;
using test::MonitorBench;

struct Operation {
    const char* button;   // control
    const char* reported; // its name in the record
    const char* story;    // its record and the writes; later writes as "..."
};

const Operation operations[] = {
    {"cmgetfuji", "getfuji", "enable getfuji 0, 07, 0C 00 A8 CC 00 0F, ..., enable getfuji 1"},
    {"cmchgfuji", "live",
     "enable live 0, 07, caption live WORK, 08 00 A8 F0 00 0F +64, caption live fuji Live, "
     "enable live 1"},
    {"cmdeffuji", "def",
     "enable def 0, 07, caption def WORK, 00 80 DE 30 00 00 80 00 00, ..., caption def fuji Def, "
     "enable def 1"},
    {"cmputfuji", "put",
     "enable put 0, 07, caption put WORK, 00 80 DD 30 00 00 80 09 00, ..., caption put fuji Put, "
     "enable put 1"},
};

// The operation's own calls and the writes in order, the writes after the
// first command of the body run together.
std::string story(const MonitorBench& b, const Operation& op) {
    std::string out;
    int writes = 0;
    for (const std::string& c : b.rec.calls) {
        const bool write = c.starts_with("write ");
        std::string entry = write ? c.substr(6) : c;
        if (write && ++writes > 2) entry = "...";
        if (!write && c.find(std::string(" ") + op.reported + " ") == std::string::npos) continue;
        if (entry != "..." || !out.ends_with("...")) out += (out.empty() ? "" : ", ") + entry;
    }
    return out;
}

void block_files(const MonitorBench& b) {
    std::filesystem::create_directories(b.h.dir / "CHG/DEF");
    std::filesystem::create_directories(b.h.dir / "CHG/PUT");
    test::write_file(b.h.dir / "CHG/DEF/00CCA800.BIN", test::pattern_bytes(64));
    test::write_file(b.h.dir / "CHG/PUT/0030DE80.BIN", "ABCDEFGH");
}

TEST(FujiFrame, ButtonsRunTheirOperations) {
    for (const Operation& op : operations) {
        SCOPED_TRACE(op.button);
        MonitorBench b;
        block_files(b);
        b.h.platform.right_button_from_us = 0; // fuji Live: one write only

        b.h.ctx.window.get(op.button).on_click();

        EXPECT_EQ(story(b, op), op.story);
        EXPECT_FALSE(b.h.line.open);
    }
}

struct PingCase {
    const char* name;
    const char* reply; // nullptr: the monitor's own
    std::int64_t delay_us;
    bool busy; // the port does not open
};

// Without an exact 0xD4 0x00 to the ping nothing else is sent; the Getfuji
// file and the title stay as they were.
TEST(FujiFrame, NoBodyWithoutTheMonitorsPingReply) {
    const PingCase cases[] = {
        {"D4 00 00", "D4 00 00", 1000, false}, {"D4 alone", "D4", 1000, false},
        {"23 00", "23 00", 1000, false},       {"silent", "", 1000, false},
        {"late", nullptr, 230'000, false},     {"port busy", nullptr, 1000, true},
    };
    for (const Operation& op : operations) {
        for (const PingCase& c : cases) {
            SCOPED_TRACE(std::string(op.button) + ", ping " + c.name);
            MonitorBench b;
            if (c.reply) b.answers["\x07"] = from_hex(c.reply);
            b.delay_us = c.delay_us;
            b.h.line.refuse_open = c.busy;
            test::write_file(b.h.dir / "getfuji", "earlier");
            b.h.ctx.window.title = "before";

            b.h.ctx.window.get(op.button).on_click();

            const std::string name = op.reported;
            EXPECT_EQ(story(b, op),
                      "enable " + name + " 0, " + (c.busy ? "" : "07, ") + "enable " + name + " 1");
            EXPECT_EQ(b.file("getfuji"), "earlier");
            EXPECT_EQ(b.h.ctx.window.title, "before");
            EXPECT_FALSE(b.h.line.open);
            EXPECT_TRUE(b.h.platform.messages.empty());
        }
    }
}

std::string repeated(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

struct Transcript {
    const char* name;
    void (*click)(Context&);
    boxsim::MonitorFaults faults;
    const char* ping_reply; // nullptr: the monitor's own
    std::string lines;      // each ended by "|"
};

TEST(FujiFrame, DiagnosticTranscripts) {
    const std::string put_checks = "OK out : 80 DD 30 00  : 00 80 09 00  inp : 00 80 09 00 |"
                                   "OK out : 88 DD 30 00  : 00 80 00 00  inp : 00 80 00 00 |"
                                   "OK out : 9C DD 30 00  : 00 00 01 00  inp : 00 00 01 00 |"
                                   "OK out : B8 DD 30 00  : 00 00 13 00  inp : 00 00 13 00 |"
                                   "OK out : 80 DE 30 00  : 00 80 09 00  inp : 00 80 09 00 |"
                                   "OK out : 88 DE 30 00  : 00 80 00 00  inp : 00 80 00 00 |";
    const Transcript cases[] = {
        {"Service to Box", cmbinup_Click, test::no_fault, nullptr,
         "38400|07 |IN1:43200.44 2 D4 00 |IN2:43200.44 2 D4 00 |IN3:43200.88 1 FF |IN33:|nagy|"
         "IN4:43201.32 2 23 00 |IN5:43201.88 1 FF |"},
        {"Service to Box, C# unanswered", cmbinup_Click, test::silent_after(1), nullptr,
         "38400|07 |IN1:43200.44 2 D4 00 |IN2:43200.44 2 D4 00 |IN3:43200.88 0 |IN333:|"},
        {"Getfuji", cmgetfuji_Click, test::no_fault, nullptr, "1|1 OK|"},
        {"fuji Def", cmdeffuji_Click, test::no_fault, nullptr,
         "1|1 o|2|2 o|" + repeated("3|3 o|3 o o|", 10) + "4|4 00CCA800.BIN|4 o|"},
        {"fuji Put", cmputfuji_Click, test::no_fault, nullptr,
         "ope|ope OK|input : D4 00 |" + put_checks + "dir|0030DE80.BIN|dir OK|"},
        {"fuji Put, ping answered D4 00 00", cmputfuji_Click, test::no_fault, "D4 00 00",
         "ope|ope OK|input : D4 00 00 |"},
    };
    for (const Transcript& c : cases) {
        SCOPED_TRACE(c.name);
        MonitorBench b(c.faults);
        if (c.ping_reply) b.answers["\x07"] = from_hex(c.ping_reply);
        b.h.ctx.upload_data = test::pattern_bytes(8);
        block_files(b);

        c.click(b.h.ctx);

        std::string lines;
        for (const std::string& l : b.lines()) lines += l + "|";
        EXPECT_EQ(lines, c.lines);
    }
}

} // namespace
} // namespace velk2
