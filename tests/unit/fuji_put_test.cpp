#include <gtest/gtest.h>

#include <filesystem>

#include "fuji/fuji_put.h"
#include "fuji_monitor_box.h"
#include "hex_text.h"

namespace velk2 {
namespace {

namespace fs = std::filesystem;
using test::from_hex;
using test::FujiBench;

struct Record {
    const char* poke;
    const char* peek;
    const char* line; // the diagnostic line of a box that stores what it gets
};

const Record put_records[] = {
    {"00 80 DD 30 00 00 80 09 00", "04 80 DD 30 00",
     "OK out : 80 DD 30 00  : 00 80 09 00  inp : 00 80 09 00 "},
    {"00 88 DD 30 00 00 80 00 00", "04 88 DD 30 00",
     "OK out : 88 DD 30 00  : 00 80 00 00  inp : 00 80 00 00 "},
    {"00 9C DD 30 00 00 00 01 00", "04 9C DD 30 00",
     "OK out : 9C DD 30 00  : 00 00 01 00  inp : 00 00 01 00 "},
    {"00 B8 DD 30 00 00 00 13 00", "04 B8 DD 30 00",
     "OK out : B8 DD 30 00  : 00 00 13 00  inp : 00 00 13 00 "},
    {"00 80 DE 30 00 00 80 09 00", "04 80 DE 30 00",
     "OK out : 80 DE 30 00  : 00 80 09 00  inp : 00 80 09 00 "},
    {"00 88 DE 30 00 00 80 00 00", "04 88 DE 30 00",
     "OK out : 88 DE 30 00  : 00 80 00 00  inp : 00 80 00 00 "},
};

std::vector<std::string> pokes_and_peeks(std::size_t records) {
    std::vector<std::string> all;
    for (std::size_t i = 0; i < records; ++i) {
        all.push_back(from_hex(put_records[i].poke));
        all.push_back(from_hex(put_records[i].peek));
    }
    return all;
}

std::vector<std::string> check_lines(const FujiBench& b) {
    std::vector<std::string> lines;
    for (const auto& l : b.stage_lines())
        if (l.find(" out : ") != std::string::npos) lines.push_back(l);
    return lines;
}

struct CheckCase {
    const char* name;
    std::function<void(test::MonitorBox&)> fault;
    std::size_t records;
    std::vector<std::pair<std::size_t, const char*>> changed_lines; // record, line
};

TEST(FujiPut, PokeAndCheckStage) {
    const CheckCase cases[] = {
        {"box stores what it gets", nullptr, 6, {}},
        {"a value read back differs: reported, the stage goes on",
         [](test::MonitorBox& m) { m.peek_answer[0x0030DD88] = from_hex("11 22 33 44"); },
         6,
         {{1, "problem out : 88 DD 30 00  : 00 80 00 00  inp : 11 22 33 44 "}}},
        // Commands: ping, then poke and peek per record; the third poke gets
        // no answer, its peek still goes out, and the stage ends.
        {"silent from the third poke",
         [](test::MonitorBox& m) { m.silent_from = 5; },
         3,
         {{2, "problem out : 9C DD 30 00  : 00 00 01 00  inp : "}}},
        {"a peek status not 0x00 ends the stage",
         [](test::MonitorBox& m) { m.peek_answer[0x0030DD9C] = from_hex("00 00 01 00 01"); },
         3,
         {}},
    };
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(c.name);
        FujiBench b;
        if (c.fault) c.fault(b.box);

        cmputfuji_Click(b.h.ctx);

        EXPECT_EQ(b.after_ping(), pokes_and_peeks(c.records));
        std::vector<std::string> lines;
        for (std::size_t i = 0; i < c.records; ++i) lines.push_back(put_records[i].line);
        for (const auto& [record, line] : c.changed_lines) lines[record] = line;
        EXPECT_EQ(check_lines(b), lines);
    }
}

TEST(FujiPut, BlockFileClearsItsRegionAfterTheMessageBox) {
    FujiBench b;
    fs::create_directories("CHG/PUT");
    test::write_file("CHG/PUT/0030DE80.BIN", "ABCDEFGH");
    test::write_file("CHG/PUT/00000010.bin", "ABCDEF"); // not whole words: passed over
    std::size_t writes_at_message = 0;
    b.h.platform.on_message = [&](const std::string&) {
        writes_at_message = b.h.line.writes.size();
    };

    cmputfuji_Click(b.h.ctx);

    ASSERT_EQ(b.h.platform.messages.size(), 1u);
    EXPECT_EQ(b.h.platform.messages[0], (std::pair<std::string, std::string>{"baj", ""}));
    const std::vector<std::string> writes = b.after_ping();
    ASSERT_EQ(writes.size(), 13u);
    EXPECT_EQ(writes.back(), from_hex("08 80 DE 30 00 01 00 00 00 00 00 00 00 00"));
    EXPECT_EQ(writes_at_message, 13u); // ping and the twelve of the first stage
    EXPECT_EQ(b.box.load(0x0030DE80, 8), std::string(8, '\0'));
}

TEST(FujiPut, DiagnosticLinesAndCaptions) {
    FujiBench b;
    fs::create_directories("CHG/PUT");
    test::write_file("CHG/PUT/0030DE80.BIN", "ABCDEFGH");
    std::string caption_at_first_poke;
    b.box.on_command = [&](const std::string& c) {
        if (c[0] == 0x00 && caption_at_first_poke.empty())
            caption_at_first_poke = b.h.ctx.window.get("cmputfuji").caption;
    };

    cmputfuji_Click(b.h.ctx);

    std::vector<std::string> expected = {"ope", "ope OK", "input : D4 00 "};
    for (const Record& r : put_records) expected.push_back(r.line);
    expected.insert(expected.end(), {"dir", "0030DE80.BIN", "dir OK"});
    EXPECT_EQ(b.stage_lines(), expected);
    EXPECT_EQ(caption_at_first_poke, "WORK");
    EXPECT_EQ(b.h.ctx.window.get("cmputfuji").caption, "fuji Put");
}

TEST(FujiPut, FailedPingIsRecordedAndNothingIsSent) {
    FujiBench b;
    b.box.ping_answer = from_hex("D4 00 00");
    fs::create_directories("CHG/PUT");
    test::write_file("CHG/PUT/0030DE80.BIN", "ABCDEFGH");

    cmputfuji_Click(b.h.ctx);

    EXPECT_EQ(b.stage_lines(), (std::vector<std::string>{"ope", "ope OK", "input : D4 00 00 "}));
    EXPECT_TRUE(b.after_ping().empty());
    EXPECT_TRUE(b.h.platform.messages.empty());
}

TEST(FujiPut, NoPutFolderNoMessageBox) {
    FujiBench b;
    cmputfuji_Click(b.h.ctx);
    EXPECT_TRUE(b.h.platform.messages.empty());
    EXPECT_EQ(b.after_ping().size(), 12u);
}

} // namespace
} // namespace velk2
