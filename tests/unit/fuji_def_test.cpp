#include <gtest/gtest.h>

#include <filesystem>

#include "fuji/fuji_data.h"
#include "role_line.h"

namespace velk2 {
namespace {

namespace fs = std::filesystem;
using test::MonitorBench;

// The ping, the first `pokes` default values, then `rest`.
std::string def_story(std::size_t pokes, const std::string& rest) {
    static const char* const values[] = {
        "00 80 DE 30 00 00 80 00 00", "00 88 DD 30 00 00 00 0F 00", "00 88 DC 5E 00 25 30 34 64",
        "00 8C DC 5E 00 25 30 32 64", "00 90 DC 5E 00 25 30 32 64", "00 A0 DC 5E 00 3A 25 30 32",
        "00 A4 DC 5E 00 78 3A 25 30", "00 A8 DC 5E 00 32 64 00 00", "00 A0 31 41 00 52 45 44 55",
        "00 A4 31 41 00 5A 49 44 49",
    };
    std::string story = "07";
    for (std::size_t i = 0; i < pokes; ++i) story += std::string(", ") + values[i];
    return story + rest;
}

void block_file(const std::string& folder, const std::string& name, const std::string& bytes) {
    fs::create_directories(folder);
    test::write_file(folder + name, bytes);
}

struct PokeCase {
    const char* name;
    boxsim::MonitorFaults faults;
    std::size_t pokes;
};

// The poke stage ends at the first poke not acknowledged, each reply waited
// for 220 ms; the block files go out all the same.
TEST(FujiDef, PokeStageThenBlockFiles) {
    const PokeCase cases[] = {
        {"every poke acknowledged", test::no_fault, 10},
        {"silent from the third poke", test::silent_after(3), 3},
        {"silent from the first poke", test::silent_after(1), 1},
    };
    for (const PokeCase& c : cases) {
        SCOPED_TRACE(c.name);
        MonitorBench b(c.faults);
        b.h.ctx.fuji_file = "other";
        const std::string block = test::pattern_bytes(64);
        block_file(b.h.dir / "CHG/DEF/", "00CCA800.BIN", block);

        cmdeffuji_Click(b.h.ctx);

        EXPECT_EQ(b.story(), def_story(c.pokes, ", 08 00 A8 CC 00 0F +64"));
        for (std::size_t i = 2; i <= c.pokes; ++i)
            EXPECT_GE(b.h.line.writes[i].at_us - b.h.line.writes[i - 1].at_us, 220'000);
        EXPECT_EQ(b.memory(fuji_block, 64) == block, c.pokes == 10);
        EXPECT_EQ(b.h.ctx.fuji_file, "getfuji");
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
        {"00000050.BIN", 1024, "08 50 00 00 00 FF +1024", false},
        {"00CCA800.BIN", 64, "08 00 A8 CC 00 0F +64", false},
        {"A.Bin", 4, "08 0A 00 00 00 00 +4", false},
        {"CCA800.bin", 8, "08 00 A8 CC 00 01 +8", false},
        {"FFFFFFF0.bin", 8, "08 F0 FF FF FF 01 +8", false},
        {"readme", 4, nullptr, false},
        {"x.txt", 4, nullptr, false},
    };
    MonitorBench b;
    const std::string dir = b.h.dir / "CHG/DEF/";
    std::string sent;
    for (const Entry& e : entries) {
        if (e.length == folder) fs::create_directories(dir + e.name);
        if (e.length != folder) block_file(dir, e.name, test::pattern_bytes(e.length));
        if (e.write_head) sent += std::string(", ") + e.write_head;
    }

    cmdeffuji_Click(b.h.ctx);

    EXPECT_EQ(b.story(), def_story(10, sent));
    for (const Entry& e : entries) {
        bool named = false;
        for (const auto& l : b.lines())
            named |= l.starts_with("passed over " + std::string(e.name));
        EXPECT_EQ(named, e.diagnosed) << e.name;
    }
}

// The setting "DIR" is put in front of "CHG/DEF/" as it is, no separator
// added; without it the folder lies in the work folder.
TEST(FujiDef, BlockFolderFromSettingDir) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "/CHG/DEF/"}, {"/base/", "/base/CHG/DEF/"}, {"/pre", "/preCHG/DEF/"}};
    for (const auto& [setting, folder] : cases) {
        SCOPED_TRACE(setting);
        MonitorBench b;
        const std::string here = b.h.dir.path();
        if (*setting) b.h.platform.settings[{"DIR", "DIR"}] = here + setting;
        block_file(here + folder, "00000100.bin", "WANT");
        if (*setting) block_file(b.h.dir / "CHG/DEF/", "00000200.bin", "NOT!");

        cmdeffuji_Click(b.h.ctx);

        EXPECT_EQ(b.story(), def_story(10, ", 08 00 01 00 00 00 +4"));
        EXPECT_EQ(b.memory(0x100, 4), "WANT");
    }
}

} // namespace
} // namespace velk2
