#include <gtest/gtest.h>

#include <filesystem>

#include "role_line.h"

namespace velk2 {
namespace {

using test::from_hex;
using test::MonitorBench;

// The ping, then poke and peek of the first `records` values.
std::string put_story(std::size_t records) {
    static const char* const pairs[] = {
        "00 80 DD 30 00 00 80 09 00, 04 80 DD 30 00", "00 88 DD 30 00 00 80 00 00, 04 88 DD 30 00",
        "00 9C DD 30 00 00 00 01 00, 04 9C DD 30 00", "00 B8 DD 30 00 00 00 13 00, 04 B8 DD 30 00",
        "00 80 DE 30 00 00 80 09 00, 04 80 DE 30 00", "00 88 DE 30 00 00 80 00 00, 04 88 DE 30 00",
    };
    std::string story = "07";
    for (std::size_t i = 0; i < records; ++i) story += std::string(", ") + pairs[i];
    return story;
}

struct CheckCase {
    const char* name;
    boxsim::MonitorFaults faults;
    const char* command; // answered with `answer` instead
    const char* answer;
    std::size_t records;
    const char* problem; // the one "problem" line, or ""
};

// Each value is poked and peeked back; a value that differs is reported and
// the stage goes on, a status not 0x00 ends it after that record.
TEST(FujiPut, PokeAndCheckStage) {
    const CheckCase cases[] = {
        {"box stores what it gets", test::no_fault, "", "", 6, ""},
        {"a value read back differs", test::no_fault, "04 88 DD 30 00", "11 22 33 44 00", 6,
         "problem out : 88 DD 30 00  : 00 80 00 00  inp : 11 22 33 44 "},
        // The third poke gets no answer; its peek still goes out.
        {"silent from the third poke", test::silent_after(5), "", "", 3,
         "problem out : 9C DD 30 00  : 00 00 01 00  inp : "},
        {"a peek status not 0x00", test::no_fault, "04 9C DD 30 00", "00 00 01 00 01", 3, ""},
        {"a poke status not 0x00", test::no_fault, "00 9C DD 30 00 00 00 01 00", "01", 3, ""},
    };
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(c.name);
        MonitorBench b(c.faults);
        if (*c.command) b.answers[from_hex(c.command)] = from_hex(c.answer);

        cmputfuji_Click(b.h.ctx);

        EXPECT_EQ(b.story(), put_story(c.records));
        std::string problems;
        for (const auto& l : b.lines())
            if (l.starts_with("problem")) problems += l;
        EXPECT_EQ(problems, c.problem);
        EXPECT_TRUE(b.h.platform.messages.empty()); // no block folder
    }
}

// A block file's region is cleared with as many zero bytes as the file is
// long, once the user has closed the message box.
TEST(FujiPut, BlockFileClearsItsRegionAfterTheMessageBox) {
    MonitorBench b;
    std::filesystem::create_directories(b.h.dir / "CHG/PUT");
    test::write_file(b.h.dir / "CHG/PUT/0030DE80.BIN", "ABCDEFGH");
    test::write_file(b.h.dir / "CHG/PUT/00000010.bin", "ABCDEF"); // not whole words
    std::size_t writes_at_message = 0;
    b.h.platform.on_message = [&](const std::string&) {
        writes_at_message = b.h.line.writes.size();
    };

    cmputfuji_Click(b.h.ctx);

    using Messages = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(b.h.platform.messages, (Messages{{"baj", ""}}));
    EXPECT_EQ(b.story(), put_story(6) + ", 08 80 DE 30 00 01 +8");
    EXPECT_EQ(writes_at_message, 13u); // the ping and the twelve of the first stage
    EXPECT_EQ(b.memory(0x0030DE80, 8), std::string(8, '\0'));
}

} // namespace
} // namespace velk2
