// The box simulator works at all: each role answers its side of an exchange,
// and the line model reads bytes sent at one rate as a UART at another would.
// The loader's own behaviour against the simulator is what the end-to-end
// runs check.
#include "boxsim/adapter.h"
#include "boxsim/bootloader_role.h"
#include "boxsim/monitor_role.h"
#include "boxsim/options.h"
#include "boxsim/sender_role.h"
#include "boxsim/uart_sampling.h"
#include "upload/crc16.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using boxsim::Millis;
using boxsim::Step;

// Packets built here with the loader's CRC, which has its own check values.
std::string packet(char lead, unsigned k, const std::string& data) {
    const std::uint16_t crc = velk2::crc16(data);
    return std::string{lead, char(k), char(255 - k)} + data + char(crc >> 8) + char(crc & 0xFF);
}

std::string header_packet(const std::string& name, const std::string& size) {
    std::string field = name + '\0' + size + '\0';
    field.resize(128, '\0');
    return packet('\x01', 0, field);
}

std::string sample(std::size_t n) {
    std::string bytes;
    for (std::size_t i = 0; i < n; ++i) bytes += char((i * 7 + 3) & 0xFF);
    return bytes;
}

const std::string closing = packet('\x01', 0, std::string(128, '\0'));

TEST(BoxsimSmoke, BootloaderPromptsAndTakesAStreamInPieces) {
    const std::string data = sample(2500);
    std::string padded = data;
    padded.resize(3 * 1024, '\0');
    std::string stream = header_packet("a.dsp", "2500");
    for (unsigned k = 1; k <= 3; ++k)
        stream += packet('\x02', k, padded.substr((k - 1) * 1024, 1024));
    stream += "\x04\x04" + closing;

    boxsim::BootloaderRole role(115200, {});
    EXPECT_EQ(role.tick(Millis(0)).sent(), "C");
    std::string replies, file_name, file_bytes;
    bool finished = false;
    for (std::size_t at = 0; at < stream.size(); at += 7) {
        const Step step = role.receive(stream.substr(at, 7), Millis(10 + at));
        replies += step.sent();
        if (step.file) file_name = step.file->name, file_bytes = step.file->bytes;
        finished = finished || step.finished;
    }
    EXPECT_EQ(replies, "\x06"
                       "C\x06\x06\x06\x15\x06\x06");
    EXPECT_EQ(file_name, "a.dsp");
    EXPECT_EQ(file_bytes, data);
    EXPECT_TRUE(finished);
}

// Each request brings the next block; the faults for the loader's block
// checks change which block comes.
TEST(BoxsimSmoke, SenderSendsAFile) {
    const std::string data = sample(2500);
    std::string padded = data;
    padded.resize(3 * 1024, '\0');
    const struct {
        const char* label;
        std::optional<unsigned> repeat_block, swap_blocks;
        std::vector<unsigned> blocks; // one per request
    } cases[] = {
        {"in turn", {}, {}, {1, 2, 3}},
        {"repeat-block=2", 2u, {}, {1, 2, 2, 3}},
        {"swap-blocks=1", {}, 1u, {2, 1, 3}},
        {"swap-blocks=3 (no block 4)", {}, 3u, {1, 2, 3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        boxsim::SenderFaults faults;
        faults.repeat_block = c.repeat_block;
        faults.swap_blocks = c.swap_blocks;
        boxsim::SenderRole role(230400, "box.dsp", data, faults);
        Millis now{0};
        const auto pc_sends = [&](const std::string& bytes) {
            now += Millis(10);
            return role.receive(bytes, now).sent();
        };
        EXPECT_EQ(pc_sends("C"), header_packet("box.dsp", "2500"));
        for (std::size_t i = 0; i < c.blocks.size(); ++i) {
            const unsigned k = c.blocks[i];
            EXPECT_EQ(pc_sends(i == 0 ? "\x15\x06"
                                        "C"
                                      : "\x06"),
                      packet('\x02', k, padded.substr((k - 1) * 1024, 1024)))
                << i;
        }
        EXPECT_EQ(pc_sends("\x15\x06"), "\x04");
        EXPECT_EQ(pc_sends("C"), closing);
    }
}

TEST(BoxsimSmoke, MonitorAnswersAPingAndAWriteThenRead) {
    boxsim::MonitorRole role(38400, {}, {});
    EXPECT_EQ(role.receive("\x07", Millis(0)).sent(), std::string("\xD4\x00", 2));
    const std::string address("\x00\xA8\xCC\x00", 4); // 0x00CCA800, little-endian
    const std::string block = sample(64);
    EXPECT_EQ(role.receive("\x08" + address + "\x0F" + block, Millis(50)).sent(),
              std::string(1, '\0'));
    EXPECT_EQ(role.receive("\x0C" + address + "\x0F", Millis(100)).sent(), block + '\0');
}

TEST(BoxsimSmoke, LineReadsAByteAsAReceiverAtAnotherRateWould) {
    struct {
        std::string sent;
        int tx, rx;
        std::string heard;
    } const cases[] = {
        {"C", 115200, 230400, "\x1E\xFE"},
        {"C\x06", 230400, 230400, "C\x06"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(boxsim::resample(c.sent, c.tx, c.rx), c.heard) << c.tx << " -> " << c.rx;
}

// The adapter on a virtual time line: what the PC has been handed at each
// look, for bytes that came off the line at the given moments.
TEST(BoxsimSmoke, AdapterHoldsBytesUntilAPacketIsFullOrItsTimerTicks) {
    using us = std::chrono::microseconds;
    struct Step {
        long long at_us;
        std::size_t line_bytes; // taken from the line at that moment (before the look)
        std::size_t handed;     // bytes the PC has been handed at that look
    };
    const struct {
        const char* what;
        long long latency_ms;
        std::vector<Step> steps;
    } cases[] = {
        {"an ACK waits for the tick", 16, {{3000, 1, 0}, {15999, 0, 0}, {16000, 0, 1}}},
        {"a full packet goes at once, the rest at the tick",
         16,
         {{1000, 1029, 16 * 62}, {15000, 0, 0}, {16000, 0, 37}}},
        {"the timer runs freely: a byte just after a tick waits a whole period",
         16,
         {{16001, 1, 0}, {31999, 0, 0}, {32000, 0, 1}}},
        {"a tick passed unseen still released what was held before it",
         16,
         {{5000, 2, 0}, {20000, 3, 2}, {31000, 0, 0}, {32000, 0, 3}}},
        {"bytes collect across reads into one packet",
         4,
         {{100, 40, 0}, {200, 30, 62}, {4000, 0, 8}}},
        {"1 ms", 1, {{1500, 1, 0}, {2000, 0, 1}}},
        {"no adapter", 0, {{3000, 1, 1}, {3001, 1029, 1029}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        boxsim::Adapter adapter{std::chrono::milliseconds(c.latency_ms)};
        std::string sent, handed;
        for (const auto& step : c.steps) {
            const us now{step.at_us};
            const std::string bytes = sample(sent.size() + step.line_bytes).substr(sent.size());
            if (!bytes.empty()) adapter.take(bytes, now);
            sent += bytes;
            const std::string got = adapter.hand_on(now);
            EXPECT_EQ(got.size(), step.handed) << "at " << step.at_us << " us";
            handed += got;
            if (adapter.held() > 0) {
                EXPECT_EQ(adapter.next_tick(now),
                          std::chrono::milliseconds((step.at_us / 1000 / c.latency_ms + 1) *
                                                    c.latency_ms))
                    << "at " << step.at_us << " us";
            }
        }
        EXPECT_EQ(adapter.held(), 0u);
        EXPECT_EQ(handed, sent); // nothing lost, nothing twice, in order
    }
}

TEST(BoxsimSmoke, AdapterLatencyTakesTheTimerRangeOfTheChip) {
    const struct {
        const char* value;
        long long ms; // -1: refused
    } cases[] = {{"16", 16}, {"1", 1}, {"255", 255}, {"0", -1}, {"256", -1}, {"4ms", -1}};
    for (const auto& c : cases) {
        const auto parsed =
            boxsim::parse_options({"--role", "bootloader", "--adapter-latency", c.value});
        ASSERT_EQ(parsed.options.has_value(), c.ms >= 0) << c.value << " " << parsed.error;
        if (parsed.options) {
            EXPECT_EQ(parsed.options->adapter_latency.count(), c.ms) << c.value;
        }
    }
    const auto plain = boxsim::parse_options({"--role", "sender", "--file", "x"});
    ASSERT_TRUE(plain.options) << plain.error;
    EXPECT_EQ(plain.options->adapter_latency.count(), 0);
}

} // namespace
