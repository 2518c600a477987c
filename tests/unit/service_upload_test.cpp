#include <gtest/gtest.h>

#include <regex>

#include "fuji_monitor_box.h"
#include "hex_text.h"
#include "serial/hex_format.h"
#include "serial/port_connection.h"
#include "service/service_upload.h"
#include "shell/file_selection.h"
#include "support/harness.h"

namespace velk2 {
namespace {

using test::from_hex;
using test::Harness;
using test::MonitorBox;

struct Sent {
    std::string baud;
    std::string bytes;
    bool operator==(const Sent&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Sent& s) {
    return os << s.baud << ": " << s.bytes.size() << " bytes " << hex_bytes(s.bytes.substr(0, 8));
}

std::vector<Sent> sent(const HeadlessLine& line) {
    std::vector<Sent> all;
    for (const auto& w : line.writes) all.push_back({w.baud, w.bytes});
    return all;
}

const std::string slow = "38400";
const std::string fast = "230400";

// The command head in hex, then `length` bytes of the data from `offset`.
Sent piece(const std::string& data, const char* head, std::size_t offset, std::size_t length) {
    return {fast, from_hex(head) + data.substr(offset, length)};
}

struct RunCase {
    const char* name;
    std::size_t n;
    std::function<void(MonitorBox&)> fault;
    std::function<std::vector<Sent>(const std::string& data)> wire;
    std::function<std::string(const std::string& data)> read2; // nullptr: left as it was
    const char* counter;                                       // 7 cells at (62, 12)
    const char* counter_at_switch_back;                        // "" when never switched back
    const char* message = "";                                  // start of the box's text
};

const std::vector<Sent> up = {{slow, from_hex("07")}, {slow, from_hex("43 23")}};

std::vector<Sent> operator+(std::vector<Sent> a, const std::vector<Sent>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const RunCase run_cases[] = {
    {"4096 bytes: four full pieces, two read back", 4096, nullptr,
     [](const std::string& d) {
         return up + std::vector<Sent>{{fast, from_hex("07")},
                                       piece(d, "08 00 00 8E 00 FF", 0, 1024),
                                       piece(d, "08 00 04 8E 00 FF", 1024, 1024),
                                       piece(d, "08 00 08 8E 00 FF", 2048, 1024),
                                       piece(d, "08 00 0C 8E 00 FF", 3072, 1024),
                                       {fast, from_hex("43 D4")},
                                       {slow, from_hex("0C 00 00 8E 00 FF")},
                                       {slow, from_hex("0C 00 04 8E 00 FF")}};
     },
     [](const std::string& d) { return d.substr(0, 2048); }, "2048   ", "4096   "},
    {"1500 bytes: a full piece and 476 bytes", 1500, nullptr,
     [](const std::string& d) {
         return up + std::vector<Sent>{{fast, from_hex("07")},
                                       piece(d, "08 00 00 8E 00 FF", 0, 1024),
                                       piece(d, "08 00 04 8E 00 76", 1024, 476),
                                       {fast, from_hex("43 D4")},
                                       {slow, from_hex("0C 00 00 8E 00 FF")},
                                       {slow, from_hex("0C 00 04 8E 00 76")}};
     },
     [](const std::string& d) { return d; }, "1500   ", "1500   "},
    {"3 bytes: speed switches only, read2 emptied", 3, nullptr,
     [](const std::string&) {
         return up + std::vector<Sent>{{fast, from_hex("07")}, {fast, from_hex("43 D4")}};
     },
     [](const std::string&) { return std::string(); }, "       ", "       "},
    {"first ping answered FF: no C#", 8, [](MonitorBox& b) { b.first_ping_ff = true; },
     [](const std::string& d) {
         return std::vector<Sent>{{slow, from_hex("07")},
                                  {fast, from_hex("07")},
                                  piece(d, "08 00 00 8E 00 01", 0, 8),
                                  {fast, from_hex("43 D4")},
                                  {slow, from_hex("0C 00 00 8E 00 01")}};
     },
     [](const std::string& d) { return d; }, "8      ", "8      "},
    {"second piece refused: switch back and read-back still run", 4096,
     [](MonitorBox& b) { b.refuse_write = 1; },
     [](const std::string& d) {
         return up + std::vector<Sent>{{fast, from_hex("07")},
                                       piece(d, "08 00 00 8E 00 FF", 0, 1024),
                                       piece(d, "08 00 04 8E 00 FF", 1024, 1024),
                                       {fast, from_hex("43 D4")},
                                       {slow, from_hex("0C 00 00 8E 00 FF")},
                                       {slow, from_hex("0C 00 04 8E 00 FF")}};
     },
     [](const std::string& d) { return d.substr(0, 1024) + std::string(1024, '\0'); }, "2048   ",
     "1024   ", "The box did not acknowledge the service data: 1024 of 4096 bytes"},
    {"read-back status not 0x00: its data kept, no second read", 4096,
     [](MonitorBox& b) { b.read_status[0x008E0000] = 0x01; },
     [](const std::string& d) {
         return up + std::vector<Sent>{{fast, from_hex("07")},
                                       piece(d, "08 00 00 8E 00 FF", 0, 1024),
                                       piece(d, "08 00 04 8E 00 FF", 1024, 1024),
                                       piece(d, "08 00 08 8E 00 FF", 2048, 1024),
                                       piece(d, "08 00 0C 8E 00 FF", 3072, 1024),
                                       {fast, from_hex("43 D4")},
                                       {slow, from_hex("0C 00 00 8E 00 FF")}};
     },
     [](const std::string& d) { return d.substr(0, 1024); }, "4096   ", "4096   "},
    {"ping answered D4 00 00: nothing more", 4096,
     [](MonitorBox& b) { b.ping_answer = from_hex("D4 00 00"); },
     [](const std::string&) {
         return std::vector<Sent>{{slow, from_hex("07")}};
     },
     nullptr, "       ", "", "The box monitor did not answer or did not switch"},
    {"C# not answered: no switch", 4096, [](MonitorBox& b) { b.silent_from = 1; },
     [](const std::string&) { return up; }, nullptr, "       ", "",
     "The box monitor did not answer or did not switch"},
    {"no ping answer at 230400: not switched back", 4096, [](MonitorBox& b) { b.silent_from = 2; },
     [](const std::string&) {
         return up + std::vector<Sent>{{fast, from_hex("07")}};
     },
     nullptr, "       ", "", "The box monitor did not answer at 230400 baud"},
};

TEST(ServiceUpload, ExchangeOnTheWire) {
    for (const RunCase& c : run_cases) {
        SCOPED_TRACE(c.name);
        Harness h;
        MonitorBox box;
        if (c.fault) c.fault(box);
        box.attach(h.line);
        std::string counter_at_switch_back;
        box.on_command = [&](const std::string& command) {
            if (command == from_hex("43 D4")) counter_at_switch_back = h.field(62, 12, 7);
        };
        test::write_file("read2", "earlier read-back");
        const std::string data = test::pattern_bytes(c.n);
        h.ctx.upload_data = data;

        cmbinup_Click(h.ctx);

        EXPECT_EQ(sent(h.line), c.wire(data));
        EXPECT_EQ(test::read_file("read2"), c.read2 ? c.read2(data) : "earlier read-back");
        EXPECT_EQ(h.field(62, 12, 7), c.counter);
        EXPECT_EQ(counter_at_switch_back, c.counter_at_switch_back);
        EXPECT_EQ(h.ctx.window.title, "Tarnwick service PC to box");
        EXPECT_FALSE(h.line.open);
        EXPECT_EQ(h.ctx.window.get("ch1").value, 0);
        // A service upload that did not reach the box never ends silently.
        if (*c.message) {
            ASSERT_EQ(h.platform.messages.size(), 1u);
            EXPECT_TRUE(h.platform.messages[0].first.starts_with(c.message))
                << h.platform.messages[0].first;
            EXPECT_EQ(h.platform.messages[0].second, "Service to Box");
        } else {
            EXPECT_TRUE(h.platform.messages.empty());
        }
    }
}

TEST(ServiceUpload, PortReopenedAtEachRateAndDataLandsAtTheServiceAddress) {
    Harness h;
    MonitorBox box;
    box.attach(h.line);
    std::vector<std::string> opens;
    h.line.on_open = [&opens](HeadlessLine& l) { opens.push_back(l.baud); };
    const std::string data = test::pattern_bytes(4096);
    h.ctx.upload_data = data;

    cmbinup_Click(h.ctx);

    EXPECT_EQ(opens, (std::vector<std::string>{"38400", "230400", "38400"}));
    EXPECT_EQ(box.load(0x008E0000, 4096), data);
    EXPECT_EQ(box.speed, speed_38400);
    EXPECT_EQ(h.field(91, 12, 9), "4-096    ");
}

// Window events run between the pieces; a file chosen meanwhile must not cut
// the pieces short or mix two files.
TEST(ServiceUpload, FileChosenMidwayLeavesThePiecesWhole) {
    Harness h;
    MonitorBox box;
    box.attach(h.line);
    box.on_command = [&h](const std::string& c) {
        if (c[0] == 0x08) h.ctx.upload_data = "other";
    };
    const std::string data = test::pattern_bytes(4096);
    h.ctx.upload_data = data;

    cmbinup_Click(h.ctx);

    EXPECT_EQ(box.count(0x08), 4);
    EXPECT_EQ(box.load(0x008E0000, 4096), data);
    EXPECT_EQ(test::read_file("read2"), data.substr(0, 2048));
}

TEST(ServiceUpload, LengthNotInWholeWordsIsRefusedBeforeThePortOpens) {
    for (std::size_t n : {5u, 1501u, 4099u}) {
        SCOPED_TRACE(n);
        Harness h;
        MonitorBox box;
        box.attach(h.line);
        h.ctx.upload_data = test::pattern_bytes(n);

        cmbinup_Click(h.ctx);

        EXPECT_EQ(h.line.open_count, 0);
        EXPECT_TRUE(h.line.writes.empty());
        EXPECT_FALSE(test::exists("read2"));
        ASSERT_EQ(h.platform.messages.size(), 1u);
        EXPECT_NE(h.platform.messages[0].first.find(std::to_string(n) + " bytes"),
                  std::string::npos);
        EXPECT_NE(h.platform.messages[0].first.find("nothing was sent"), std::string::npos);
    }
}

TEST(ServiceUpload, WithThePortOpenTheButtonOnlyClosesIt) {
    Harness h;
    MonitorBox box;
    box.attach(h.line);
    h.ctx.upload_data = test::pattern_bytes(8);
    ASSERT_TRUE(port_open_plain(h.ctx, "38400"));

    cmbinup_Click(h.ctx);

    EXPECT_EQ(h.ctx.window.title, "Tarnwick service PC to box");
    EXPECT_FALSE(h.line.open);
    EXPECT_TRUE(h.line.writes.empty());
}

TEST(ServiceUpload, AutomaticStartRunsTheServiceUploadOfTheFileOnDisk) {
    Harness h;
    MonitorBox box;
    box.attach(h.line);
    const std::string data = test::pattern_bytes(16);
    test::write_file(h.dir / "svc.bin", data);
    h.ctx.upload_file = h.dir / "svc.bin";
    apply_selected_file(h.ctx);

    cmbinup_Click(h.ctx);

    EXPECT_EQ(box.load(0x008E0000, 16), data);
    EXPECT_EQ(test::read_file("read2"), data);
    EXPECT_EQ(h.ctx.upload_data, data); // loaded again at the end
}

std::vector<std::string> stage_lines(const HeadlessPlatform& p) {
    std::vector<std::string> lines;
    for (const auto& l : p.diag_lines)
        // Status fields and the window's timers write lines of their own.
        if (l.rfind("\t\t", 0) != 0 && l.rfind("tmr", 0) != 0) lines.push_back(l);
    return lines;
}

void expect_lines(const std::vector<std::string>& lines, const std::vector<std::string>& patterns) {
    std::string all;
    for (const auto& l : lines) all += "\n  \"" + l + "\"";
    ASSERT_EQ(lines.size(), patterns.size()) << all;
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_TRUE(std::regex_match(lines[i], std::regex(patterns[i])))
            << "line " << i << ": \"" << lines[i] << "\" against " << patterns[i];
}

const std::string time = "[0-9]+(\\.[0-9]+)?";

TEST(ServiceUpload, DiagnosticLines) {
    {
        Harness h;
        MonitorBox box;
        box.attach(h.line);
        h.ctx.upload_data = test::pattern_bytes(8);
        cmbinup_Click(h.ctx);
        expect_lines(stage_lines(h.platform),
                     {"38400", "07 ", "IN1:" + time + " 2 D4 00 ", "IN2:" + time + " 2 D4 00 ",
                      "IN3:" + time + " 1 FF ", "IN33:", "nagy", "IN4:" + time + " 2 23 00 ",
                      "IN5:" + time + " 1 FF "});
    }
    {
        Harness h;
        MonitorBox box;
        box.silent_from = 1;
        box.attach(h.line);
        h.ctx.upload_data = test::pattern_bytes(8);
        cmbinup_Click(h.ctx);
        expect_lines(stage_lines(h.platform),
                     {"38400", "07 ", "IN1:" + time + " 2 D4 00 ", "IN2:" + time + " 2 D4 00 ",
                      "IN3:" + time + " 0 ", "IN333:"});
    }
}

TEST(ServiceUpload, ReplyLineCarriesTimeLengthAndDump) {
    EXPECT_EQ(reply_line("IN1:", 43200.44, from_hex("D4 00")), "IN1:43200.44 2 D4 00 ");
    EXPECT_EQ(reply_line("IN5:", 43200.0, ""), "IN5:43200 0 ");
    EXPECT_EQ(reply_line("IN4:", 61.5, std::string(11, '\x23')),
              "IN4:61.5 11 23 23 23 23 23 23 23 23 23 23 \r\n23 ");
}

} // namespace
} // namespace velk2
