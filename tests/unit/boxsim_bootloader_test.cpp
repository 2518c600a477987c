// The box's bootloader as the receiver of an upload, driven byte for byte.
#include "../../tools/boxsim/bootloader_role.h"
#include "../../tools/boxsim/crc16.h"
#include "../../tools/boxsim/safe_name.h"
#include "../../tools/boxsim/ymodem_block.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using boxsim::BootloaderFaults;
using boxsim::BootloaderRole;
using boxsim::Millis;
using boxsim::Step;

const std::string ack = "\x06";
const std::string nak = "\x15";
const std::string ack_c = "\x06"
                          "C";
const std::string eot = "\x04";

// Packets as the PC's upload builds them, written out here byte by byte.
std::string packet(char lead, unsigned number, const std::string& data) {
    const std::uint16_t crc = boxsim::crc16_xmodem(data);
    std::string p{lead, static_cast<char>(number & 0xFF), static_cast<char>(255 - (number & 0xFF))};
    return p + data + static_cast<char>(crc >> 8) + static_cast<char>(crc & 0xFF);
}

std::string block0(const std::string& name, const std::string& size_text) {
    std::string field = name + '\0' + size_text;
    field.resize(128, '\0');
    return packet('\x01', 0, field);
}

std::string payload(std::size_t n) {
    std::string bytes;
    for (std::size_t i = 0; i < n; ++i) bytes += static_cast<char>((i * 7 + 3) & 0xFF);
    return bytes;
}

// The PC pads the payload to whole blocks, with one extra block when it is a
// multiple of 1024.
std::vector<std::string> data_blocks(const std::string& bytes) {
    std::string padded = bytes;
    padded.resize((bytes.size() / 1024 + 1) * 1024, '\0');
    std::vector<std::string> blocks;
    for (std::size_t k = 0; k * 1024 < padded.size(); ++k) {
        blocks.push_back(
            packet('\x02', static_cast<unsigned>(k + 1), padded.substr(k * 1024, 1024)));
    }
    return blocks;
}

const std::string closing = packet('\x01', 0, std::string(128, '\0'));

struct Box {
    BootloaderRole role;
    Millis now{0};
    explicit Box(BootloaderFaults faults = {}) : role(115200, faults) {}
    Step feed(const std::string& bytes) {
        now += Millis(5);
        return role.receive(bytes, now);
    }
};

class BoxsimBootloaderUpload : public testing::TestWithParam<std::size_t> {};

TEST_P(BoxsimBootloaderUpload, AcceptsTheStreamAndRebuildsTheFile) {
    const std::string bytes = payload(GetParam());
    Box box;
    EXPECT_EQ(box.feed(block0("a.dsp", std::to_string(bytes.size()))).sent(), ack_c);
    for (const auto& block : data_blocks(bytes)) {
        const Step step = box.feed(block);
        EXPECT_EQ(step.sent(), ack);
        EXPECT_FALSE(step.file);
    }
    EXPECT_EQ(box.feed(eot).sent(), nak);
    const Step second = box.feed(eot);
    EXPECT_EQ(second.sent(), ack);
    ASSERT_TRUE(second.file);
    EXPECT_EQ(second.file->name, "a.dsp");
    EXPECT_EQ(second.file->bytes, bytes);
    EXPECT_FALSE(second.finished);
    const Step end = box.feed(closing);
    EXPECT_EQ(end.sent(), ack);
    EXPECT_TRUE(end.finished);
    for (const auto& t : end.out) EXPECT_EQ(t.baud, 115200);
}

INSTANTIATE_TEST_SUITE_P(Sizes, BoxsimBootloaderUpload,
                         testing::Values(0u, 5u, 1000u, 1024u, 2500u, 300u * 1024u));

TEST(BoxsimBootloader, AnswersTheSameWhenTheStreamComesInPieces) {
    const std::string bytes = payload(2500);
    std::string stream = block0("a.dsp", "2500");
    for (const auto& block : data_blocks(bytes)) stream += block;
    stream += eot + eot + closing;
    Box box;
    std::string replies;
    std::string file;
    for (std::size_t at = 0; at < stream.size(); at += 7) {
        const Step step = box.feed(stream.substr(at, 7));
        replies += step.sent();
        if (step.file) file = step.file->bytes;
    }
    EXPECT_EQ(replies, ack_c + ack + ack + ack + nak + ack + ack);
    EXPECT_EQ(file, bytes);
}

TEST(BoxsimBootloader, NaksABlockWithABadCheckAndTakesItsResend) {
    const std::string bytes = payload(2500);
    const auto blocks = data_blocks(bytes);
    Box box;
    box.feed(block0("a.dsp", "2500"));
    EXPECT_EQ(box.feed(blocks[0]).sent(), ack);
    std::string broken = blocks[1];
    broken[500] ^= 0x01;
    EXPECT_EQ(box.feed(broken).sent(), nak);
    EXPECT_EQ(box.feed(blocks[1]).sent(), ack);
    EXPECT_EQ(box.feed(blocks[2]).sent(), ack);
    box.feed(eot);
    const Step done = box.feed(eot);
    ASSERT_TRUE(done.file);
    EXPECT_EQ(done.file->bytes, bytes);
}

struct BadPacket {
    const char* what;
    std::string bytes;
};

void PrintTo(const BadPacket& c, std::ostream* os) {
    *os << c.what;
}

class BoxsimBootloaderBadHeader : public testing::TestWithParam<BadPacket> {};

TEST_P(BoxsimBootloaderBadHeader, NaksItAndKeepsWaitingForBlockZero) {
    Box box;
    EXPECT_EQ(box.feed(GetParam().bytes).sent(), nak) << GetParam().what;
    EXPECT_EQ(box.feed(block0("a.dsp", "1")).sent(), ack_c);
}

std::string with_byte(std::string p, std::size_t at, char value) {
    p[at] = value;
    return p;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BoxsimBootloaderBadHeader,
    testing::Values(BadPacket{"bad check", with_byte(block0("a.dsp", "1"), 131, '\x55')},
                    BadPacket{"bad complement", with_byte(block0("a.dsp", "1"), 2, '\xFE')},
                    BadPacket{"data block first", packet('\x02', 1, std::string(1024, 'x'))}));

TEST(BoxsimBootloader, SendsCPromptlyAfterThePcOpensThenEverySecond) {
    BootloaderRole role(230400, {});
    EXPECT_EQ(role.tick(Millis(0)).sent(), "C");
    EXPECT_EQ(role.tick(Millis(999)).sent(), "");
    EXPECT_EQ(role.tick(Millis(1000)).sent(), "C");
    role.line_event(Millis(1200));
    EXPECT_EQ(role.tick(Millis(1229)).sent(), "");
    const Step prompt = role.tick(Millis(1230));
    EXPECT_EQ(prompt.sent(), "C");
    ASSERT_EQ(prompt.out.size(), 1u);
    EXPECT_EQ(prompt.out[0].baud, 230400);
    // Left out by the line when the PC has a "C" waiting already.
    EXPECT_TRUE(prompt.out[0].optional);
    EXPECT_EQ(role.tick(Millis(2229)).sent(), "");
    const Step periodic = role.tick(Millis(2230));
    ASSERT_EQ(periodic.out.size(), 1u);
    EXPECT_FALSE(periodic.out[0].optional);
    // No more "C" once block 0 is in.
    role.receive(block0("a.dsp", "1"), Millis(1300));
    EXPECT_EQ(role.tick(Millis(5000)).sent(), "");
}

TEST(BoxsimBootloader, APromptCDueWhenBlockZeroCameIsNotSentLater) {
    BootloaderRole role(230400, {});
    role.line_event(Millis(0));
    role.receive(block0("a.dsp", "3"), Millis(10));
    role.receive(data_blocks("xyz")[0], Millis(20));
    role.receive(eot, Millis(21));
    role.receive(eot, Millis(22));
    EXPECT_TRUE(role.receive(closing, Millis(23)).finished);
    EXPECT_EQ(role.tick(Millis(100)).sent(), "");
    EXPECT_EQ(role.tick(Millis(1023)).sent(), "C");
}

TEST(BoxsimBootloader, DropsAnIncompletePacketAfterItsTimeout) {
    const auto blocks = data_blocks(payload(100));
    BootloaderRole role(230400, {});
    role.receive(block0("a.dsp", "100"), Millis(0));
    role.receive(blocks[0].substr(0, 600), Millis(10));
    EXPECT_EQ(role.tick(Millis(1000)).sent(), "");
    EXPECT_EQ(role.tick(Millis(1011)).sent(), nak);
    EXPECT_EQ(role.receive(blocks[0], Millis(1100)).sent(), ack);
}

TEST(BoxsimBootloader, SavesUnderASafeNameTruncatedToTheAnnouncedSize) {
    Box box;
    box.feed(block0("../../etc/a\x01.dsp", "3"));
    box.feed(data_blocks("xyz")[0]);
    box.feed(eot);
    const Step done = box.feed(eot);
    ASSERT_TRUE(done.file);
    EXPECT_EQ(done.file->name, "a_.dsp");
    EXPECT_EQ(done.file->bytes, "xyz");
}

TEST(BoxsimBootloader, KeepsAllDataWhenBlockZeroHasNoSize) {
    Box box;
    box.feed(block0("a.dsp", ""));
    box.feed(data_blocks("xyz")[0]);
    box.feed(eot);
    const Step done = box.feed(eot);
    ASSERT_TRUE(done.file);
    EXPECT_EQ(done.file->bytes.size(), 1024u);
}

struct FaultCase {
    const char* what;
    BootloaderFaults faults;
    // Replies to: block 0, block 1, block 2, EOT, EOT (until a hang-up).
    std::vector<std::string> replies;
    bool hangs_up;
};

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.what;
}

class BoxsimBootloaderFault : public testing::TestWithParam<FaultCase> {};

TEST_P(BoxsimBootloaderFault, MisbehavesAsAsked) {
    const FaultCase& c = GetParam();
    const auto blocks = data_blocks(payload(1500));
    const std::vector<std::string> stream = {block0("a.dsp", "1500"), blocks[0], blocks[1], eot,
                                             eot};
    Box box(c.faults);
    std::vector<std::string> replies;
    bool hung_up = false;
    for (const auto& packet : stream) {
        const Step step = box.feed(packet);
        replies.push_back(step.sent());
        if (step.hang_up) {
            hung_up = true;
            break;
        }
    }
    EXPECT_EQ(replies, c.replies) << c.what;
    EXPECT_EQ(hung_up, c.hangs_up) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BoxsimBootloaderFault,
    testing::Values(
        FaultCase{"none", {}, {ack_c, ack, ack, nak, ack}, false},
        FaultCase{"nak-block=2", {.nak_block = 2u}, {ack_c, ack, nak, nak, ack}, false},
        FaultCase{"ack-first-eot", {.ack_first_eot = true}, {ack_c, ack, ack, ack, ack}, false},
        FaultCase{"drop-after-block=1", {.drop_after_block = 1u}, {ack_c, ack}, true},
        FaultCase{"drop-after-block=0", {.drop_after_block = 0u}, {ack_c}, true},
        FaultCase{"silent", {.silent = true}, {"", "", "", "", ""}, false}));

TEST(BoxsimBootloader, SilentFaultSendsNoC) {
    BootloaderRole role(230400, {.silent = true});
    EXPECT_EQ(role.tick(Millis(0)).sent(), "");
    EXPECT_EQ(role.tick(Millis(5000)).sent(), "");
}

struct NameCase {
    std::string raw;
    std::string safe;
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << c.raw;
}

class BoxsimSafeName : public testing::TestWithParam<NameCase> {};

TEST_P(BoxsimSafeName, KeepsTheFileInsideTheOutputFolder) {
    EXPECT_EQ(boxsim::safe_name(GetParam().raw), GetParam().safe);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BoxsimSafeName,
    testing::Values(NameCase{"rom.dsp", "rom.dsp"}, NameCase{"../../etc/passwd", "passwd"},
                    NameCase{"C:\\box\\up.DSP", "up.DSP"}, NameCase{"..", "received.bin"},
                    NameCase{"", "received.bin"}, NameCase{"dir/", "received.bin"},
                    NameCase{".hidden", "_.hidden"}, NameCase{"-rf", "_-rf"},
                    NameCase{"a\nb\x7F", "a_b_"}));

struct HeaderCase {
    std::string field;
    std::string name;
    std::optional<std::uint64_t> size;
};

class BoxsimHeaderField : public testing::TestWithParam<HeaderCase> {};

TEST_P(BoxsimHeaderField, GivesNameAndSize) {
    std::string field = GetParam().field;
    field.resize(128, '\0');
    const auto header = boxsim::ymodem::parse_header(field);
    EXPECT_EQ(header.name, GetParam().name);
    EXPECT_EQ(header.size, GetParam().size);
}

INSTANTIATE_TEST_SUITE_P(Cases, BoxsimHeaderField,
                         testing::Values(HeaderCase{std::string("a.dsp\0"
                                                                "5",
                                                                7),
                                                    "a.dsp", 5u},
                                         HeaderCase{std::string("a.dsp\0"
                                                                "2500 123",
                                                                14),
                                                    "a.dsp", 2500u},
                                         HeaderCase{std::string("a\0"
                                                                "99999999999",
                                                                13),
                                                    "a", 99999999999u},
                                         HeaderCase{std::string("a\0", 2), "a", std::nullopt},
                                         HeaderCase{std::string("a\0"
                                                                "99999999999999999999999",
                                                                25),
                                                    "a", std::nullopt},
                                         HeaderCase{std::string(128, 'n'), std::string(128, 'n'),
                                                    std::nullopt}));

} // namespace
