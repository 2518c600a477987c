// "Service to Box" against the box monitor, its replies paced at the line rate:
// at 38400 baud a 1024-byte read-back piece and its status need some 267 ms,
// more than the fixed pause, and reach the port in bursts.
#include <gtest/gtest.h>

#include "role_line.h"
#include "serial/port_connection.h"
#include "service/service_pieces.h"
#include "service/service_upload.h"

namespace velk2 {
namespace {

using test::from_hex;

struct ServiceCase {
    const char* name;
    std::size_t n;
    boxsim::MonitorFaults faults;
    const char* cut_read; // this read-back answered with `cut` data bytes only
    std::size_t cut;
    bool stored;          // the data is in the box's memory
    std::size_t read2;    // bytes read back; npos: "read2" left as it was
    std::int64_t wait_ms; // from the last read-back command to the end (0: none)
    std::string story;    // what the box heard at its own rate, and the counter
    std::string message = "";
    const char* lost_after = ""; // the line is lost once this command has gone out
};

constexpr std::size_t kept = std::string::npos;
const std::string up = "07, 43 23, 07, ";
const std::string written_4096 =
    "08 00 00 8E 00 FF +1024, counter 1024, 08 00 04 8E 00 FF +1024, counter 2048, "
    "08 00 08 8E 00 FF +1024, counter 3072, 08 00 0C 8E 00 FF +1024, counter 4096, 43 D4, ";
const std::string not_written = " Nothing was written to the box.";

const ServiceCase service_cases[] = {
    {"4096 bytes: four full pieces, two read back", 4096, test::no_fault, "", 0, true, 2048, 267,
     up + written_4096 + "0C 00 00 8E 00 FF, counter 1024, 0C 00 04 8E 00 FF, counter 2048"},
    {"1500 bytes: a full piece and 476 bytes", 1500, test::no_fault, "", 0, true, 1500, 220,
     up + "08 00 00 8E 00 FF +1024, counter 1024, 08 00 04 8E 00 76 +476, counter 1500, 43 D4, "
          "0C 00 00 8E 00 FF, counter 1024, 0C 00 04 8E 00 76, counter 1500"},
    {"3 bytes: speed switches only, read2 emptied", 3, test::no_fault, "", 0, false, 0, 0,
     up + "43 D4"},
    {"1501 bytes: refused", 1501, test::no_fault, "", 0, false, kept, 0, "",
     "The BIN file is 1501 bytes long. The box monitor takes whole 4-byte words only, so "
     "nothing was sent to the box."},
    {"first ping answered FF: no C#", 8, test::first_ping_ff, "", 0, true, 8, 220,
     "07, 07, 08 00 00 8E 00 01 +8, counter 8, 43 D4, 0C 00 00 8E 00 01, counter 8"},
    {"pieces refused: switch back and read-back still run, status 0x01 ends it", 4096,
     test::refusing, "", 0, false, 1024, 267,
     up + "08 00 00 8E 00 FF +1024, 43 D4, 0C 00 00 8E 00 FF",
     "The box did not acknowledge the service data: 0 of 4096 bytes were written."},
    {"C# not answered", 4096, test::silent_after(1), "", 0, false, kept, 0, "07, 43 23",
     "The box monitor did not answer or did not switch to 230400 baud." + not_written},
    {"no ping answer at 230400", 4096, test::silent_after(2), "", 0, false, kept, 0,
     "07, 43 23, 07", "The box monitor did not answer at 230400 baud." + not_written},
    // The last byte that came is a data byte 0x00 (pattern byte 219), not a
    // status: the read-back ends, given up a second after the pause.
    {"first reply stops after 220 bytes", 4096, test::no_fault, "0C 00 00 8E 00 FF", 220, true, 219,
     1220, up + written_4096 + "0C 00 00 8E 00 FF"},
    {"second reply stops after 10 bytes", 4096, test::no_fault, "0C 00 04 8E 00 FF", 10, true,
     1024 + 9, 1220, up + written_4096 + "0C 00 00 8E 00 FF, counter 1024, 0C 00 04 8E 00 FF"},
    {"the line lost during the second piece: nothing more is sent, the message says so", 4096,
     test::no_fault, "", 0, false, kept, 0,
     up + "08 00 00 8E 00 FF +1024, counter 1024, 08 00 04 8E 00 FF +1024",
     "The line to the box was lost (the port stopped taking bytes or went away: adapter "
     "unplugged?): 1024 of 4096 bytes were written.",
     "08 00 04 8E 00 FF"},
    {"second reply lacks only its status", 4096, test::no_fault, "0C 00 04 8E 00 FF", 1024, true,
     1024 + 1023, 1220, up + written_4096 + "0C 00 00 8E 00 FF, counter 1024, 0C 00 04 8E 00 FF"},
};

TEST(ServiceUpload, ExchangeReadBackAndMessage) {
    for (const ServiceCase& c : service_cases) {
        SCOPED_TRACE(c.name);
        test::MonitorBench b(c.faults);
        const std::string data = test::pattern_bytes(c.n);
        // Every piece starts with the same bytes: the pattern repeats every 256.
        if (*c.cut_read) b.answers[from_hex(c.cut_read)] = test::pattern_bytes(c.cut);
        test::write_file(b.h.dir / "read2", "earlier");
        b.h.ctx.upload_data = data;
        // Events run between the pieces: a file chosen meanwhile must not cut
        // them short or mix two files.
        b.h.platform.at(0, [&b] { b.h.ctx.upload_data = "other"; });
        if (*c.lost_after) {
            const auto box = b.h.line.on_write;
            b.h.line.on_write = [box, head = from_hex(c.lost_after)](HeadlessLine& line,
                                                                     const std::string& bytes) {
                box(line, bytes);
                if (bytes.starts_with(head)) line.lost = true;
            };
        }

        cmbinup_Click(b.h.ctx);

        EXPECT_EQ(b.story(), c.story);
        EXPECT_EQ(b.memory(service_address, c.n) == data, c.stored);
        EXPECT_EQ(b.file("read2"),
                  c.read2 == kept ? "earlier" : b.memory(service_address, c.read2));
        std::int64_t last_read = -1;
        for (const auto& w : b.h.line.writes)
            if (w.bytes[0] == 0x0C) last_read = w.at_us;
        if (c.wait_ms) {
            EXPECT_GE(b.h.platform.now_us() - last_read, c.wait_ms * 1000);
            EXPECT_LT(b.h.platform.now_us() - last_read, c.wait_ms * 1000 + 80'000);
        }
        EXPECT_EQ(b.h.ctx.window.title, "Tarnwick service PC to box");
        EXPECT_FALSE(b.h.line.open);
        // A service upload that did not reach the box never ends silently.
        using Messages = std::vector<std::pair<std::string, std::string>>;
        const Messages message{{c.message, "Service to Box"}};
        EXPECT_EQ(b.h.platform.messages, c.message.empty() ? Messages{} : message);
    }
}

// The adapter unplugged after the first piece went out: the message says
// how much was written and that the device went away; nothing is read back
// (the port does not open again) and "read2" stays as it was.
TEST(ServiceUpload, UnpluggedAdapterSaysTheDeviceWentAway) {
    test::MonitorBench b;
    b.h.ctx.upload_data = test::pattern_bytes(4096);
    test::write_file(b.h.dir / "read2", "earlier");
    const auto serve = b.h.line.on_write;
    b.h.line.on_write = [&](HeadlessLine& line, const std::string& bytes) {
        serve(line, bytes);
        if (bytes[0] == 0x08) line.lost = true;
    };
    cmbinup_Click(b.h.ctx);

    using Messages = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(b.h.platform.messages,
              (Messages{{"The line to the box was lost (the port stopped taking bytes or went "
                         "away: adapter unplugged?): 0 of 4096 bytes were written.",
                         "Service to Box"}}));
    EXPECT_EQ(b.file("read2"), "earlier");
    EXPECT_FALSE(b.h.line.open);
}

TEST(ServiceUpload, WithThePortOpenTheButtonOnlyClosesIt) {
    test::MonitorBench b;
    b.h.ctx.upload_data = test::pattern_bytes(8);
    ASSERT_TRUE(port_open_plain(b.h.ctx, "38400"));

    cmbinup_Click(b.h.ctx);

    EXPECT_FALSE(b.h.line.open);
    EXPECT_TRUE(b.h.line.writes.empty());
}

TEST(ServiceUpload, ReplyLineCarriesTimeLengthAndDump) {
    EXPECT_EQ(reply_line("IN1:", 43200.44, from_hex("D4 00")), "IN1:43200.44 2 D4 00 ");
    EXPECT_EQ(reply_line("IN5:", 43200.0, ""), "IN5:43200 0 ");
    EXPECT_EQ(reply_line("IN4:", 61.5, std::string(11, '\x23')),
              "IN4:61.5 11 23 23 23 23 23 23 23 23 23 23 \r\n23 ");
}

} // namespace
} // namespace velk2
