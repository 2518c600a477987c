// Holds bytes to the rate a serial line carries them: 10 bit times a byte
// (start, 8 data, stop). The clock is passed in, so the pacing is pure.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>

namespace boxsim {

using Nanos = std::chrono::nanoseconds;

class Pacer {
  public:
    // `lead`: how long before the end of its line time a byte may go.
    explicit Pacer(int baud, Nanos lead = default_lead) : lead_(lead) { set_baud(baud); }

    void set_baud(int baud);

    // How many bytes may go at `now`. Bytes may leave up to the lead before
    // the end of their line time; a loop that wakes up to `catch_up` late (a
    // busy machine) makes the lost time good instead of slowing the line down.
    std::size_t allowance(Nanos now) const;
    // Records that `count` bytes went at `now`.
    void spend(std::size_t count, Nanos now);
    // Bytes wait again after the line stood idle: nothing to make good
    // from before `now`.
    void resume(Nanos now) { line_free_at_ = std::max(line_free_at_, now); }
    // When the next byte may go (not before `now`).
    Nanos next_byte_at(Nanos now) const;
    // When `count` more bytes may all have gone (not before `now`).
    Nanos all_gone_at(std::size_t count, Nanos now) const;

    // Lets a poll loop with millisecond wake-ups keep the line busy, at the
    // price of bytes that arrive up to this much early.
    static constexpr Nanos default_lead{2'000'000};
    static constexpr Nanos catch_up{8'000'000};

  private:
    Nanos lead_;
    Nanos byte_time_{1};
    Nanos line_free_at_{0}; // when the bytes spent so far have left the line

    // When the next byte would start on the line if it went at `now`.
    Nanos line_start(Nanos now) const { return std::max(line_free_at_, now - catch_up); }
};

} // namespace boxsim
