// The simulator's model of the wire: CRC, bit sampling between mismatched
// rates, and pacing at the line rate.
#include "../../tools/boxsim/crc16.h"
#include "../../tools/boxsim/pacer.h"
#include "../../tools/boxsim/uart_sampling.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>

namespace {

using boxsim::resample;

TEST(BoxsimCrc16, MatchesXmodemCheckValues) {
    EXPECT_EQ(boxsim::crc16_xmodem("123456789"), 0x31C3);
    EXPECT_EQ(boxsim::crc16_xmodem(std::string(1024, '\0')), 0x0000);
    EXPECT_EQ(boxsim::crc16_xmodem("A"), 0x58E5);
    EXPECT_EQ(boxsim::crc16_xmodem(""), 0x0000);
}

struct SamplingCase {
    const char* what;
    std::string sent;
    int tx_baud;
    int rx_baud;
    std::string heard;
};

void PrintTo(const SamplingCase& c, std::ostream* os) {
    *os << c.what;
}

class BoxsimSampling : public testing::TestWithParam<SamplingCase> {};

TEST_P(BoxsimSampling, ReceiverSamplesWhatTheSenderPutOnTheWire) {
    const SamplingCase& c = GetParam();
    EXPECT_EQ(resample(c.sent, c.tx_baud, c.rx_baud), c.heard) << c.what;
}

// Expected bytes worked out by hand from the bit timeline of each case.
INSTANTIATE_TEST_SUITE_P(
    Cases, BoxsimSampling,
    testing::Values(
        SamplingCase{"C at half rate splits in two", "C", 115200, 230400, "\x1E\xFE"},
        SamplingCase{"same rate passes unchanged", std::string("C\x00\xFF", 3), 230400, 230400,
                     std::string("C\x00\xFF", 3)},
        SamplingCase{"C at double rate: false start, then one byte", "C", 230400, 115200, "\xFC"},
        SamplingCase{"FF at half rate: only its start bit shows", "\xFF", 115200, 230400, "\xFE"},
        SamplingCase{"00 at a sixth of the rate reads as one zero byte", std::string(1, '\0'),
                     38400, 230400, std::string(1, '\0')},
        SamplingCase{"nothing sent, nothing heard", "", 115200, 230400, ""}));

TEST(BoxsimSampling, TwoSeparateCsAtHalfRateGiveTwoPairs) {
    const std::string one = resample("C", 115200, 230400);
    EXPECT_EQ(one + one, "\x1E\xFE\x1E\xFE");
}

TEST(BoxsimPacer, NeverLetsMoreThanATenthOfTheBaudThroughPerSecond) {
    for (const int baud : {38400, 115200, 230400}) {
        boxsim::Pacer pacer(baud);
        std::size_t sent = 0;
        // A poll loop waking once a millisecond for one second of virtual time.
        for (int ms = 0; ms <= 1000; ++ms) {
            const boxsim::Nanos now{static_cast<long long>(ms) * 1'000'000};
            const std::size_t n = pacer.allowance(now);
            pacer.spend(n, now);
            sent += n;
        }
        const std::size_t line_rate = static_cast<std::size_t>(baud / 10);
        const std::size_t lead_bytes = static_cast<std::size_t>(baud / 10 / 500) + 1;
        EXPECT_GE(sent, line_rate - 1) << baud;
        EXPECT_LE(sent, line_rate + lead_bytes) << baud;
    }
}

TEST(BoxsimPacer, MakesGoodTheTimeOfLateWakeUps) {
    boxsim::Pacer pacer(115200);
    std::size_t sent = 0;
    // Wake-ups 7 ms apart, as on a busy machine, for one second.
    for (int ms = 0; ms <= 1000; ms += 7) {
        const boxsim::Nanos now{static_cast<long long>(ms) * 1'000'000};
        const std::size_t n = pacer.allowance(now);
        pacer.spend(n, now);
        sent += n;
    }
    EXPECT_GE(sent, 11520u - 100u);
    EXPECT_LE(sent, 11520u + 24u);
}

TEST(BoxsimPacer, GivesNoBurstAfterTheLineStoodIdle) {
    boxsim::Pacer pacer(230400);
    const boxsim::Nanos later{5'000'000'000};
    pacer.resume(later);
    // Only the lead of 2 ms: 46 bytes at 230400.
    EXPECT_EQ(pacer.allowance(later), 46u);
}

TEST(BoxsimPacer, NextByteTimeIsWhenTheAllowanceReturns) {
    boxsim::Pacer pacer(38400);
    const boxsim::Nanos start{0};
    pacer.spend(pacer.allowance(start), start);
    EXPECT_EQ(pacer.allowance(start), 0u);
    const boxsim::Nanos next = pacer.next_byte_at(start);
    EXPECT_GT(next, start);
    EXPECT_EQ(pacer.allowance(next), 1u);
    EXPECT_EQ(pacer.allowance(next - boxsim::Nanos(1)), 0u);
}

// Without a lead, as the simulator serves its line, a byte goes only when its
// line time is over, and a loop that wakes each millisecond and then at the
// moment the pacer names lets the last byte of a block go exactly then. The
// default lead lets it go that much early.
TEST(BoxsimPacer, LastQueuedByteIsDueWhenItsLineTimeIsOver) {
    struct Case {
        int baud;
        std::size_t block;
        boxsim::Nanos lead;
    };
    const boxsim::Nanos no_lead{0};
    for (const auto c :
         {Case{230400, 1029, no_lead}, Case{115200, 1029, no_lead}, Case{230400, 1, no_lead},
          Case{38400, 133, no_lead}, Case{230400, 1029, boxsim::Pacer::default_lead}}) {
        boxsim::Pacer pacer(c.baud, c.lead);
        const boxsim::Nanos start{1'000'000'000};
        const boxsim::Nanos byte_time{10'000'000'000LL / c.baud};
        pacer.resume(start);
        std::size_t left = c.block;
        boxsim::Nanos now = start;
        while (pacer.all_gone_at(left, now) - now > std::chrono::milliseconds(1)) {
            const std::size_t n = std::min(left, pacer.allowance(now));
            // Never a byte before its line time (less the lead).
            EXPECT_LE(c.block - left + n,
                      static_cast<std::size_t>((now - start + c.lead) / byte_time))
                << c.baud;
            pacer.spend(n, now);
            left -= n;
            now += std::chrono::milliseconds(1);
        }
        const boxsim::Nanos due = pacer.all_gone_at(left, now);
        EXPECT_EQ(due, start + byte_time * static_cast<long long>(c.block) - c.lead) << c.baud;
        EXPECT_EQ(pacer.allowance(due - boxsim::Nanos(1)), left - 1) << c.baud;
        EXPECT_EQ(pacer.allowance(due), left) << c.baud;
    }
}

} // namespace
