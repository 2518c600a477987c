#include <gtest/gtest.h>

#include <filesystem>

#include "fuji/fuji_def.h"
#include "fuji_monitor_box.h"
#include "hex_text.h"

namespace velk2 {
namespace {

namespace fs = std::filesystem;
using test::from_hex;
using test::FujiBench;

const char* const default_pokes[] = {
    "00 80 DE 30 00 00 80 00 00", "00 88 DD 30 00 00 00 0F 00", "00 88 DC 5E 00 25 30 34 64",
    "00 8C DC 5E 00 25 30 32 64", "00 90 DC 5E 00 25 30 32 64", "00 A0 DC 5E 00 3A 25 30 32",
    "00 A4 DC 5E 00 78 3A 25 30", "00 A8 DC 5E 00 32 64 00 00", "00 A0 31 41 00 52 45 44 55",
    "00 A4 31 41 00 5A 49 44 49",
};

std::vector<std::string> pokes(std::size_t n) {
    std::vector<std::string> all;
    for (std::size_t i = 0; i < n; ++i) all.push_back(from_hex(default_pokes[i]));
    return all;
}

void block_file(const std::string& folder, const std::string& name, const std::string& bytes) {
    fs::create_directories(folder);
    test::write_file(folder + name, bytes);
}

struct PokeCase {
    const char* name;
    int silent_from; // command index (0 is the ping)
    std::size_t pokes;
};

// The poke stage ends at the first poke not acknowledged; the block files go
// out all the same.
TEST(FujiDef, PokeStageThenBlockFiles) {
    const PokeCase cases[] = {
        {"every poke acknowledged", -1, 10},
        {"silent from the third poke", 3, 3},
        {"silent from the first poke", 1, 1},
    };
    for (const PokeCase& c : cases) {
        SCOPED_TRACE(c.name);
        FujiBench b;
        b.box.silent_from = c.silent_from;
        const std::string block = test::pattern_bytes(64);
        block_file("CHG/DEF/", "00CCA800.BIN", block);

        cmdeffuji_Click(b.h.ctx);

        std::vector<std::string> expected = pokes(c.pokes);
        expected.push_back(from_hex("08 00 A8 CC 00 0F") + block);
        EXPECT_EQ(b.after_ping(), expected);
        for (std::size_t i = 2; i < c.pokes + 1; ++i) // the 220 ms wait for each reply
            EXPECT_GE(b.h.line.writes[i].at_us - b.h.line.writes[i - 1].at_us, 220'000);
        if (c.silent_from < 0) {
            EXPECT_EQ(b.box.load(0x0030DE80, 4), from_hex("00 80 00 00"));
            EXPECT_EQ(b.box.load(0x004131A0, 8), "REDUZIDI");
            EXPECT_EQ(b.box.load(0x00CCA800, 64), block);
        }
    }
}

struct Entry {
    const char* name;
    std::size_t length;     // a folder when npos
    const char* write_head; // nullptr: not sent
    bool diagnosed;         // passed over with a line that names it
};

TEST(FujiDef, BlockFilesFitForOneWriteAreSentAndTheOthersPassedOver) {
    constexpr std::size_t folder = std::size_t(-1);
    const Entry entries[] = {
        {"00000010.bin", 6, nullptr, true},
        {"00000020.bin", 0, nullptr, true},
        {"00000030.bin", 1028, nullptr, true},
        {"00000040.bin", folder, nullptr, true},
        {"00000050.BIN", 1024, "08 50 00 00 00 FF", false},
        {"00CCA800.BIN", 64, "08 00 A8 CC 00 0F", false},
        {"A.Bin", 4, "08 0A 00 00 00 00", false},
        {"CCA800.bin", 8, "08 00 A8 CC 00 01", false},
        {"FFFFFFF0.bin", 8, "08 F0 FF FF FF 01", false},
        {"readme", 4, nullptr, false},
        {"x.txt", 4, nullptr, false},
    };
    FujiBench b;
    std::vector<std::string> expected = pokes(10);
    for (const Entry& e : entries) {
        const std::string bytes = test::pattern_bytes(e.length == folder ? 0 : e.length);
        if (e.length == folder)
            fs::create_directories(std::string("CHG/DEF/") + e.name);
        else
            block_file("CHG/DEF/", e.name, bytes);
        if (e.write_head) expected.push_back(from_hex(e.write_head) + bytes);
    }

    cmdeffuji_Click(b.h.ctx);

    EXPECT_EQ(b.after_ping(), expected);
    const std::vector<std::string> lines = b.stage_lines();
    for (const Entry& e : entries) {
        bool named = false;
        for (const auto& l : lines) named |= l.rfind("passed over " + std::string(e.name), 0) == 0;
        EXPECT_EQ(named, e.diagnosed) << e.name;
    }
}

struct FolderCase {
    const char* setting; // "@" stands for the test directory
    const char* folder;  // where the block file lies
};

TEST(FujiDef, BlockFolderFromSettingDir) {
    const FolderCase cases[] = {
        {"", "CHG/DEF/"},
        {"@/base/", "@/base/CHG/DEF/"},
        {"@/pre", "@/preCHG/DEF/"}, // taken as it is, no separator added
    };
    for (const FolderCase& c : cases) {
        SCOPED_TRACE(c.setting);
        FujiBench b;
        const auto here = [&b](std::string s) {
            if (!s.empty() && s[0] == '@') s.replace(0, 1, b.h.dir.path());
            return s;
        };
        if (*c.setting) b.h.platform.settings[{"DIR", "DIR"}] = here(c.setting);
        block_file(here(c.folder), "00000100.bin", "WANT");
        if (*c.setting) block_file("CHG/DEF/", "00000200.bin", "NOT!");

        cmdeffuji_Click(b.h.ctx);

        const std::vector<std::string> writes = b.after_ping();
        ASSERT_EQ(writes.size(), 11u);
        EXPECT_EQ(writes.back(), from_hex("08 00 01 00 00 00") + "WANT");
    }
}

TEST(FujiDef, DiagnosticLinesCaptionsAndFujiFile) {
    FujiBench b;
    b.h.ctx.fuji_file = "other";
    block_file("CHG/DEF/", "00CCA800.BIN", test::pattern_bytes(64));
    std::vector<std::string> captions;
    b.box.on_command = [&](const std::string&) {
        captions.push_back(b.h.ctx.window.get("cmdeffuji").caption);
    };

    cmdeffuji_Click(b.h.ctx);

    std::vector<std::string> expected = {"1", "1 o", "2", "2 o"};
    for (int i = 0; i < 10; ++i) expected.insert(expected.end(), {"3", "3 o", "3 o o"});
    expected.insert(expected.end(), {"4", "4 00CCA800.BIN", "4 o"});
    EXPECT_EQ(b.stage_lines(), expected);
    EXPECT_EQ(b.h.ctx.fuji_file, "getfuji");
    ASSERT_EQ(captions.size(), 12u);
    EXPECT_EQ(captions[0], "fuji Def"); // the ping
    for (std::size_t i = 1; i < captions.size(); ++i) EXPECT_EQ(captions[i], "WORK") << i;
    EXPECT_EQ(b.h.ctx.window.get("cmdeffuji").caption, "fuji Def");
}

} // namespace
} // namespace velk2
