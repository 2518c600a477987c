#include <gtest/gtest.h>

#include "fuji/fuji_data.h"
#include "fuji/monitor_commands.h"
#include "role_line.h"

namespace velk2 {
namespace {

using test::from_hex;

// A fuji head with the fields that the summary shows.
std::string head_with(std::uint32_t n) {
    std::string head = test::pattern_bytes(64);
    head.replace(36, 4, from_hex("78 56 34 12"));
    head.replace(40, 8, "ABCDEFGH");
    head[54] = 7;
    head[55] = 12;
    return head.replace(60, 4, le32(n));
}

struct GetCase {
    const char* name;
    std::uint32_t n;
    boxsim::MonitorFaults faults;
    bool short_head;   // the head read answered with 3 data bytes and a status
    const char* story; // what the box heard
    std::size_t kept;  // bytes of head + trail in the file
    const char* title;
};

// Head and trail go into the file that `fuji_file` names, emptied first; the
// trail is read only after a whole head that the monitor reported as read.
TEST(Getfuji, HeadAndTrailIntoTheFileAndTheTitle) {
    const char* const whole = "7:12 ABCDEFGH/ 12345678/ DEADBEEF";
    const GetCase cases[] = {
        {"n = 0x10", 0x10, test::no_fault, false, "07, 0C 00 A8 CC 00 0F, 0C 60 A8 CC 00 01", 72,
         whole},
        {"n = 0", 0, test::no_fault, false, "07, 0C 00 A8 CC 00 0F, 0C 40 A8 CC 00 01", 72, whole},
        // 32-bit arithmetic: 2 * 0x80000000 wraps to 0.
        {"n = 0x80000000", 0x80000000, test::no_fault, false,
         "07, 0C 00 A8 CC 00 0F, 0C 40 A8 CC 00 01", 72, whole},
        {"head status 0x01", 0x10, test::refusing, false, "07, 0C 00 A8 CC 00 0F", 64,
         "7:12 ABCDEFGH/ 12345678/ 00000000"},
        {"short head, kept less its last byte", 0x10, test::no_fault, true, "07, 0C 00 A8 CC 00 0F",
         3, "0:0 / 00000000/ 00000000"},
    };
    for (const GetCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string block = head_with(c.n) + from_hex("01 02 03 04 EF BE AD DE");
        boxsim::MemoryModel memory;
        memory.write(fuji_block, block.substr(0, 64));
        memory.write(fuji_block + 64 + 2 * c.n, block.substr(64));
        test::MonitorBench b(c.faults, memory);
        if (c.short_head) b.answers[from_hex("0C 00 A8 CC 00 0F")] = block.substr(0, 3) + '\0';
        b.h.ctx.fuji_file = "other";
        test::write_file(b.h.dir / "other", std::string(100, 'x'));

        cmgetfuji_Click(b.h.ctx);

        EXPECT_EQ(b.story(), c.story);
        EXPECT_EQ(b.file("other"), block.substr(0, c.kept));
        EXPECT_FALSE(test::exists(b.h.dir / "getfuji"));
        EXPECT_EQ(b.h.ctx.window.title, c.title);
    }
}

} // namespace
} // namespace velk2
