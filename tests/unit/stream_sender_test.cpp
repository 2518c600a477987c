#include <gtest/gtest.h>

#include <cstring>

#include "hex_text.h"
#include "scripted_bootloader.h"
#include "serial/port_connection.h"
#include "support/harness.h"
#include "upload/stream_sender.h"
#include "upload/ymodem_stream.h"

namespace velk2 {
namespace {

using test::ack;
using test::BootloaderScript;
using test::Harness;
using test::nak;

constexpr std::size_t payload_size = 2500; // three data blocks: entries 2 to 4
constexpr int no_limit = -1;

struct SendCase {
    const char* name;
    BootloaderScript box;
    int packets_sent;      // entries from 2 on that went out
    int blocks_acked;      // shown by the byte counter
    const char* last_log;  // log field when ap_send returns
    const char* message;   // "" when the stream ends with "done"
    int fail_after_min_ms; // time from the last write to the message
    int fail_after_max_ms;
    double start_of_day_s = 12 * 3600.0;
};

void PrintTo(const SendCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<SendCase> send_cases() {
    auto box = [](auto change) {
        BootloaderScript s;
        change(s);
        return s;
    };
    return {
        {"every reply as expected", {}, 6, 3, "done", "", no_limit, no_limit},
        {"NAK then ACK to a data block counts as acknowledged",
         box([](auto& s) { s.block_replies[2] = nak + ack; }), 6, 3, "done", "", no_limit,
         no_limit},
        {"NAK then nothing to a data block", box([](auto& s) { s.block_replies[1] = nak; }), 1, 0,
         "stream:I", "mistake:\ninput byte 0x06<>15 ", 4, 10},
        {"silent box: the first reply byte is awaited for one second",
         box([](auto& s) { s.block_replies[3] = ""; }), 3, 2, "stream:I",
         "mistake:\ninput byte 0x06<>", 1000, 1010},
        {"the one-second wait is not fooled by midnight",
         box([](auto& s) { s.block_replies[3] = ""; }), 3, 2, "stream:I",
         "mistake:\ninput byte 0x06<>", 1000, 1010, 86399.6},
        {"first EOT answered with ACK", box([](auto& s) { s.eot1_reply = ack; }), 4, 3, "end:1",
         "mistake:\nend1 input byte 0x15<>06 ", 100, 110},
        {"a NAK anywhere in the reply to the first EOT passes",
         box([](auto& s) { s.eot1_reply = "abc" + nak; }), 6, 3, "done", "", no_limit, no_limit},
        {"second EOT answered with NAK", box([](auto& s) { s.eot2_reply = nak; }), 5, 3, "end:2",
         "mistake:\nend2 input byte 0x06<>15 ", 100, 110},
        {"closing block never answered: twenty seconds", box([](auto& s) { s.closing_reply = ""; }),
         6, 3, "end:3", "mistake:\nend3 input byte 0x06<>", 20100, 20115},
    };
}

class StreamSend : public ::testing::TestWithParam<SendCase> {};

TEST_P(StreamSend, RepliesDecideHowFarTheStreamGoes) {
    const SendCase& c = GetParam();
    Harness h;
    h.platform.start_of_day_s = c.start_of_day_s;
    test::play_bootloader(h.line, c.box);
    ASSERT_TRUE(port_open(h.ctx, "230400"));
    const Stream stream = letstream(test::pattern_bytes(payload_size), "/tmp/a.dsp");
    std::int64_t message_at_us = -1;
    h.platform.on_message = [&](const std::string&) { message_at_us = h.platform.now_us(); };

    const bool done = ap_send(h.ctx, stream);

    EXPECT_EQ(done, std::string(c.message).empty());
    // Exactly the packets that went out, each once, as the stream holds them.
    std::string expected;
    for (int e = 2; e < 2 + c.packets_sent; ++e) expected += stream_packet(stream, e);
    EXPECT_EQ(h.line.written(), expected);
    EXPECT_EQ(h.field(28, 12, 20), std::string(c.last_log).append(20 - strlen(c.last_log), ' '));
    std::string counter = c.blocks_acked ? std::to_string(c.blocks_acked * 1024) : "";
    EXPECT_EQ(h.field(62, 12, 7), counter.append(7 - counter.size(), ' '));
    if (*c.message) {
        ASSERT_EQ(h.platform.messages.size(), 1u);
        EXPECT_EQ(h.platform.messages[0].first, c.message);
        EXPECT_EQ(h.platform.messages[0].second, "Hmmmmm");
        const auto waited_ms = (message_at_us - h.line.writes.back().at_us) / 1000;
        EXPECT_GE(waited_ms, c.fail_after_min_ms);
        EXPECT_LE(waited_ms, c.fail_after_max_ms);
    } else {
        EXPECT_TRUE(h.platform.messages.empty());
    }
    // The sender leaves the port to its caller.
    EXPECT_TRUE(h.line.open);
}

INSTANTIATE_TEST_SUITE_P(Stream, StreamSend, ::testing::ValuesIn(send_cases()),
                         [](const auto& info) { return test::case_name(info); });

TEST(StreamSend, BlocksLeaveAsSoonAsTheirAckArrives) {
    // The poll for an ACK must cost no more than its reads: with the box
    // answering 1 ms after a block, the next block leaves once the ACK and
    // the 2-byte read after it (3 ms) are taken, and not later.
    Harness h;
    BootloaderScript box;
    test::play_bootloader(h.line, box);
    ASSERT_TRUE(port_open(h.ctx, "230400"));
    const Stream stream = letstream(test::pattern_bytes(20 * 1024), "a.dsp");
    ASSERT_TRUE(ap_send(h.ctx, stream));
    const auto& w = h.line.writes;
    for (std::size_t i = 1; i < 21; ++i) {
        SCOPED_TRACE(i);
        EXPECT_LE(w[i].at_us - w[i - 1].at_us, 4000);
    }
}

TEST(StreamSend, EventsRunOncePerBlock) {
    Harness h;
    BootloaderScript box;
    test::play_bootloader(h.line, box);
    ASSERT_TRUE(port_open(h.ctx, "230400"));
    const Stream stream = letstream(std::string(5 * 1024 - 1, 'x'), "a.dsp");
    const int before = h.platform.process_events_calls;
    ASSERT_TRUE(ap_send(h.ctx, stream));
    // Five data blocks, then one pass of each end-exchange wait.
    EXPECT_EQ(h.platform.process_events_calls - before, 5 + 3);
}

} // namespace
} // namespace velk2
