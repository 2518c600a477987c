// The service read-back against a box whose replies take their real time on
// the line: at 38400 baud a 1024-byte piece and its status need some 270 ms,
// more than the fixed pause, and reach the port in bursts.
#include <gtest/gtest.h>

#include "fuji_monitor_box.h"
#include "hex_text.h"
#include "service/service_upload.h"

namespace velk2 {
namespace {

using test::from_hex;
using test::Harness;
using test::MonitorBox;

// When each mon_read of the read-back went out, in microseconds.
std::vector<std::int64_t> read_times(const HeadlessLine& line) {
    std::vector<std::int64_t> times;
    for (const auto& w : line.writes)
        if (w.baud == "38400" && !w.bytes.empty() && w.bytes[0] == 0x0C) times.push_back(w.at_us);
    return times;
}

struct PacedCase {
    const char* name;
    std::size_t n;
    std::size_t read2; // bytes read back
    const char* counter;
};

const PacedCase paced_cases[] = {
    {"4096 bytes: two full pieces read back", 4096, 2048, "2048   "},
    {"2048 bytes: two full pieces, all of it", 2048, 2048, "2048   "},
    {"1500 bytes: a full piece and 476 bytes", 1500, 1500, "1500   "},
    {"1024 bytes: one full piece", 1024, 1024, "1024   "},
};

TEST(ServiceReadback, RepliesLongerThanThePauseArriveWhole) {
    for (const PacedCase& c : paced_cases) {
        SCOPED_TRACE(c.name);
        Harness h;
        MonitorBox box;
        box.paced = true;
        box.attach(h.line);
        const std::string data = test::pattern_bytes(c.n);
        h.ctx.upload_data = data;

        cmbinup_Click(h.ctx);

        EXPECT_EQ(box.load(0x008E0000, c.n), data);
        const std::string read2 = test::read_file("read2");
        EXPECT_EQ(read2.size(), c.read2);
        EXPECT_TRUE(read2 == data.substr(0, c.read2));
        EXPECT_EQ(h.field(62, 12, 7), c.counter);
        // The wait ends with the reply, not at the limit: the next read
        // follows the whole first reply closely.
        const std::vector<std::int64_t> reads = read_times(h.line);
        ASSERT_EQ(reads.size(), (c.read2 + 1023) / 1024);
        if (reads.size() == 2) {
            EXPECT_GT(reads[1] - reads[0], 266'000);
            EXPECT_LT(reads[1] - reads[0], 400'000);
        }
    }
}

struct CutCase {
    const char* name;
    std::uint32_t at;
    std::size_t cut; // bytes of the reply that come
    std::size_t read2;
};

const CutCase cut_cases[] = {
    // The last byte that came is a data byte of value 0x00 (pattern byte
    // 219: 219 * 7 + 3 = 0x600), not a status: the read-back ends.
    {"first reply stops after 220 bytes", 0x008E0000, 220, 219},
    {"second reply stops after 10 bytes", 0x008E0400, 10, 1024 + 9},
    {"second reply lacks only its status", 0x008E0400, 1024, 1024 + 1023},
};

TEST(ServiceReadback, ReplyCutShortEndsTheReadBackAfterTheLimit) {
    for (const CutCase& c : cut_cases) {
        SCOPED_TRACE(c.name);
        Harness h;
        MonitorBox box;
        box.paced = true;
        box.read_cut[c.at] = c.cut;
        box.attach(h.line);
        const std::string data = test::pattern_bytes(4096);
        h.ctx.upload_data = data;

        cmbinup_Click(h.ctx);

        const std::string read2 = test::read_file("read2");
        EXPECT_EQ(read2.size(), c.read2);
        EXPECT_TRUE(read2 == data.substr(0, c.read2));
        const std::vector<std::int64_t> reads = read_times(h.line);
        ASSERT_FALSE(reads.empty());
        EXPECT_EQ(reads.size(), c.at == 0x008E0000 ? 1u : 2u);
        // Given up a second after the pause, the port closed at once.
        EXPECT_GE(h.platform.now_us() - reads.back(), 1'220'000);
        EXPECT_LT(h.platform.now_us() - reads.back(), 1'300'000);
        EXPECT_FALSE(h.line.open);
    }
}

// The pieces' acknowledgements and the speed switch at 230400 need the line
// time too; a paced box must see the very same exchange as an instant one.
TEST(ServiceReadback, PacedBoxSeesTheSameWire) {
    const std::string data = test::pattern_bytes(4096);
    std::string wire[2];
    for (int paced = 0; paced < 2; ++paced) {
        Harness h;
        MonitorBox box;
        box.paced = paced == 1;
        box.attach(h.line);
        h.ctx.upload_data = data;
        cmbinup_Click(h.ctx);
        for (const auto& w : h.line.writes) wire[paced] += w.baud + ":" + w.bytes;
    }
    EXPECT_EQ(wire[0], wire[1]);
    EXPECT_NE(wire[1].find("38400:" + from_hex("0C 00 04 8E 00 FF")), std::string::npos);
}

} // namespace
} // namespace velk2
