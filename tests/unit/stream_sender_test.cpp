#include <gtest/gtest.h>

#include "hex_text.h"
#include "scripted_bootloader.h"
#include "serial/port_connection.h"
#include "support/harness.h"
#include "support/recording_report.h"
#include "upload/stream_sender.h"
#include "upload/ymodem_stream.h"

namespace velk2 {
namespace {

using test::ack;
using test::BootloaderScript;
using test::nak;

TEST(StreamSend, RepliesDecideHowFarTheStreamGoes) {
    const struct {
        const char* name;
        void (*box)(BootloaderScript&);
        int packets_sent;     // entries from 2 on that went out (2 to 4 carry the 2500 bytes)
        int blocks_acked;     // shown by the byte counter
        const char* last_log; // when ap_send returns
        const char* message;  // "" when the stream ends with "done"
        int fail_after_min_ms = -1, fail_after_max_ms = -1; // from the last write to the message
        double start_of_day_s = 12 * 3600.0;
    } cases[] = {
        {"every reply as expected", [](BootloaderScript&) {}, 6, 3, "done", ""},
        {"NAK then ACK to a data block counts as acknowledged",
         [](BootloaderScript& s) { s.block_replies[2] = nak + ack; }, 6, 3, "done", ""},
        {"NAK then nothing to a data block", [](BootloaderScript& s) { s.block_replies[1] = nak; },
         1, 0, "stream:I", "mistake:\ninput byte 0x06<>15 ", 4, 10},
        {"silent box: the first reply byte is awaited for one second",
         [](BootloaderScript& s) { s.block_replies[3] = ""; }, 3, 2, "stream:I",
         "mistake:\ninput byte 0x06<>", 1000, 1010},
        {"the one-second wait is not fooled by midnight",
         [](BootloaderScript& s) { s.block_replies[3] = ""; }, 3, 2, "stream:I",
         "mistake:\ninput byte 0x06<>", 1000, 1010, 86399.6},
        {"first EOT answered with ACK", [](BootloaderScript& s) { s.eot1_reply = ack; }, 4, 3,
         "end:1", "mistake:\nend1 input byte 0x15<>06 ", 100, 110},
        {"a NAK anywhere in the reply to the first EOT passes",
         [](BootloaderScript& s) { s.eot1_reply = "abc" + nak; }, 6, 3, "done", ""},
        {"second EOT answered with NAK", [](BootloaderScript& s) { s.eot2_reply = nak; }, 5, 3,
         "end:2", "mistake:\nend2 input byte 0x06<>15 ", 100, 110},
        {"closing block never answered: twenty seconds",
         [](BootloaderScript& s) { s.closing_reply = ""; }, 6, 3, "end:3",
         "mistake:\nend3 input byte 0x06<>", 20100, 20115},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::Harness h;
        h.platform.start_of_day_s = c.start_of_day_s;
        BootloaderScript box;
        c.box(box);
        test::play_bootloader(h.line, box);
        ASSERT_TRUE(port_open(h.ctx, "230400"));
        auto& rec = test::RecordingReport::install(h.ctx);
        const Stream stream = letstream(test::pattern_bytes(2500), "/tmp/a.dsp");
        std::int64_t message_at_us = -1;
        h.platform.on_message = [&](const std::string&) { message_at_us = h.platform.now_us(); };

        EXPECT_EQ(ap_send(h.ctx, stream), std::string(c.message).empty());
        // Exactly the packets that went out, each once, as the stream holds them.
        std::string expected;
        for (int e = 2; e < 2 + c.packets_sent; ++e) expected += stream_packet(stream, e);
        EXPECT_EQ(h.line.written(), expected);
        EXPECT_EQ(rec.only("log").back(), c.last_log);
        EXPECT_EQ(rec.only("counter").back(),
                  c.blocks_acked ? std::to_string(c.blocks_acked * 1024) : "clear");
        if (*c.message) {
            EXPECT_EQ(h.platform.messages, (decltype(h.platform.messages){{c.message, "Hmmmmm"}}));
            const auto waited_ms = (message_at_us - h.line.writes.back().at_us) / 1000;
            EXPECT_GE(waited_ms, c.fail_after_min_ms);
            EXPECT_LE(waited_ms, c.fail_after_max_ms);
        } else {
            EXPECT_TRUE(h.platform.messages.empty());
        }
        EXPECT_TRUE(h.line.open); // the sender leaves the port to its caller
    }
}

TEST(StreamSend, BlocksLeaveAsSoonAsTheirAckArrivesAndEventsRunOncePerBlock) {
    test::Harness h;
    BootloaderScript box;
    test::play_bootloader(h.line, box);
    ASSERT_TRUE(port_open(h.ctx, "230400"));
    const int events_before = h.platform.process_events_calls;
    ASSERT_TRUE(ap_send(h.ctx, letstream(test::pattern_bytes(20 * 1024 - 1), "a.dsp")));
    // With the box answering 1 ms after a block, the next block leaves once
    // the ACK and the 2-byte read after it (3 ms) are taken, and not later.
    const auto& w = h.line.writes;
    for (std::size_t i = 1; i < 20; ++i) EXPECT_LE(w[i].at_us - w[i - 1].at_us, 4000) << i;
    // Twenty data blocks, then one pass of each end-exchange wait.
    EXPECT_EQ(h.platform.process_events_calls - events_before, 20 + 3);
}

} // namespace
} // namespace velk2
