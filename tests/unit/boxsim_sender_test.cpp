// The box as the YMODEM sender of a download, against the PC's requests.
#include "../../tools/boxsim/crc16.h"
#include "../../tools/boxsim/sender_role.h"
#include "../../tools/boxsim/ymodem_block.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using boxsim::Millis;
using boxsim::SenderFaults;
using boxsim::SenderRole;
using boxsim::Step;

const std::string first_request = "\x15\x06\x43";
const std::string next_request = "\x06";
const std::string end_request = "\x15\x06";

std::string payload(std::size_t n) {
    std::string bytes;
    for (std::size_t i = 0; i < n; ++i) bytes += static_cast<char>((i * 13 + 1) & 0xFF);
    return bytes;
}

std::uint16_t check_bytes(const std::string& packet) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(packet[packet.size() - 2]) << 8 |
                                      static_cast<unsigned char>(packet[packet.size() - 1]));
}

// How the PC takes a header apart: name up to the NUL, then the decimal size.
void expect_header(const std::string& header, const std::string& name, const std::string& size) {
    ASSERT_EQ(header.size(), 133u);
    EXPECT_EQ(header.substr(0, 3), std::string("\x01\x00\xFF", 3));
    const std::string field = header.substr(3, 128);
    EXPECT_EQ(field.substr(0, name.size() + 1 + size.size() + 1), name + '\0' + size + '\0');
    EXPECT_EQ(field.find_first_not_of('\0', name.size() + 1 + size.size()), std::string::npos);
    EXPECT_EQ(check_bytes(header), boxsim::crc16_xmodem(field));
}

struct Pc {
    SenderRole role;
    Millis now{0};
    Pc(std::size_t size, SenderFaults faults = {})
        : role(230400, "box.dsp", payload(size), std::move(faults)) {}
    Step send(const std::string& bytes) {
        now += Millis(10);
        return role.receive(bytes, now);
    }
};

class BoxsimSenderDownload : public testing::TestWithParam<std::size_t> {};

TEST_P(BoxsimSenderDownload, AnswersTheWholeExchange) {
    const std::size_t size = GetParam();
    const std::string bytes = payload(size);
    Pc pc(size);
    const std::size_t blocks = (size + 1023) / 1024;

    const Step header = pc.send("C");
    expect_header(header.sent(), "box.dsp", std::to_string(size));

    std::string received;
    for (std::size_t k = 1; k <= blocks; ++k) {
        const std::string block = pc.send(k == 1 ? first_request : next_request).sent();
        ASSERT_EQ(block.size(), 1029u) << k;
        EXPECT_EQ(block[0], '\x02');
        EXPECT_EQ(static_cast<unsigned char>(block[1]), k & 0xFF);
        EXPECT_EQ(static_cast<unsigned char>(block[2]), 255 - (k & 0xFF));
        EXPECT_EQ(check_bytes(block), boxsim::crc16_xmodem(block.substr(3, 1024)));
        received += block.substr(3, 1024);
    }
    EXPECT_EQ(received.substr(0, size), bytes);
    EXPECT_EQ(received.find_first_not_of('\0', size), std::string::npos);

    // An empty file has no data block: the PC goes straight to its end steps.
    EXPECT_EQ(pc.send(end_request).sent(), "\x04");
    const Step closing = pc.send("C");
    EXPECT_EQ(closing.sent(), SenderRole::closing_packet());
    EXPECT_EQ(closing.sent().substr(0, 3), std::string("\x01\x00\xFF", 3));
    EXPECT_EQ(closing.sent().size(), 133u);
    EXPECT_TRUE(closing.finished);
    ASSERT_EQ(closing.results.size(), 1u);
    EXPECT_EQ(closing.results[0], "sent box.dsp " + std::to_string(size) + " bytes in " +
                                      std::to_string(blocks) + " blocks");
}

INSTANTIATE_TEST_SUITE_P(Sizes, BoxsimSenderDownload,
                         testing::Values(0u, 1u, 1024u, 2500u, 256u * 1024u + 10u));

TEST(BoxsimSender, TakesRequestsSplitAcrossReads) {
    Pc pc(2500);
    std::string out;
    for (const std::string piece :
         {"C", "\x15", "\x06", "C", "\x06", "\x06", "\x15", "\x06", "C"}) {
        out += pc.send(piece).sent();
    }
    EXPECT_EQ(out.size(), 133u + 3 * 1029u + 1u + 133u);
    EXPECT_EQ(out.substr(133, 1), "\x02");
    EXPECT_EQ(out.substr(133 + 3 * 1029, 1), "\x04");
}

TEST(BoxsimSender, SendsBlockZeroAgainOnARepeatedC) {
    Pc pc(10);
    const std::string first = pc.send("C").sent();
    EXPECT_EQ(pc.send("C").sent(), first);
}

TEST(BoxsimSender, StartsOverWhenANewDownloadAsksAfterAPause) {
    Pc pc(3000);
    pc.send("C");
    pc.send(first_request);
    pc.now += SenderRole::abandon_after + Millis(1);
    pc.role.tick(pc.now);
    EXPECT_EQ(pc.send("C").sent().size(), 133u);
}

TEST(BoxsimSender, AnswersAtItsOwnRate) {
    SenderRole role(115200, "x", "abc", {});
    const Step step = role.receive("C", Millis(0));
    ASSERT_EQ(step.out.size(), 1u);
    EXPECT_EQ(step.out[0].baud, 115200);
}

TEST(BoxsimSender, CorruptCrcSpoilsOnlyTheChosenBlock) {
    SenderRole role(230400, "x", payload(3000), {.corrupt_crc = 2u});
    EXPECT_EQ(boxsim::ymodem::packet_problem(role.header_packet()), "");
    EXPECT_EQ(boxsim::ymodem::packet_problem(role.data_packet(1)), "");
    EXPECT_NE(boxsim::ymodem::packet_problem(role.data_packet(2)), "");
    EXPECT_EQ(boxsim::ymodem::packet_problem(role.data_packet(3)), "");
    SenderRole header_fault(230400, "x", payload(3000), {.corrupt_crc = 0u});
    EXPECT_NE(boxsim::ymodem::packet_problem(header_fault.header_packet()), "");
}

TEST(BoxsimSender, HeaderFaults) {
    SenderRole bad_start(230400, "x", "abc", {.bad_header_start = true});
    const std::string header = bad_start.header_packet();
    ASSERT_EQ(header.size(), 133u);
    EXPECT_EQ(header.substr(0, 3), std::string("\x02\x00\xFF", 3));
    EXPECT_EQ(check_bytes(header), boxsim::crc16_xmodem(header.substr(3, 128)));

    SenderRole absurd(230400, "x.dsp", "abc", {.absurd_size = true});
    expect_header(absurd.header_packet(), "x.dsp", "99999999999");

    SenderRole named(230400, "x.dsp", "abc",
                     {.header_name = std::string("../\x07"
                                                 "evil")});
    expect_header(named.header_packet(),
                  "../\x07"
                  "evil",
                  "3");
}

TEST(BoxsimSender, StopAfterBlockLeavesThePcWithoutAnswer) {
    Pc pc(5000, {.stop_after_block = 2u});
    pc.send("C");
    EXPECT_EQ(pc.send(first_request).sent().size(), 1029u);
    EXPECT_EQ(pc.send(next_request).sent().size(), 1029u);
    EXPECT_EQ(pc.send(next_request).sent(), "");
    EXPECT_EQ(pc.send("C").sent(), "");

    Pc after_header(5000, {.stop_after_block = 0u});
    EXPECT_EQ(after_header.send("C").sent().size(), 133u);
    EXPECT_EQ(after_header.send(first_request).sent(), "");
}

} // namespace
