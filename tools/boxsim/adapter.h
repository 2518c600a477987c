// A USB serial adapter between the box's line and the PC, as the common FTDI
// chips behave: the bytes they receive from the line wait in the chip until
// 62 of them fill one USB packet, or until the chip's latency timer ticks,
// and then reach the PC together. The timer runs freely (every `latency`
// from the start), so a lone byte waits anything up to one period. The clock
// is passed in, so the model is pure.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace boxsim {

class Adapter {
  public:
    using Nanos = std::chrono::nanoseconds;

    // Data bytes of one USB packet (64 less the two status bytes).
    static constexpr std::size_t packet_bytes = 62;

    // A latency of zero is no adapter: every byte goes on at once.
    explicit Adapter(Nanos latency = Nanos{0}) : latency_(latency) {}

    // Bytes that came off the line at `now`.
    void take(std::string_view bytes, Nanos now);
    // The bytes the PC has been handed by `now`, in order; each once.
    std::string hand_on(Nanos now);
    // Bytes in the chip, not yet handed on.
    std::size_t held() const { return held_.size(); }
    // When the held bytes go at the latest: the next tick after `now`;
    // nothing while none are held.
    std::optional<Nanos> next_tick(Nanos now) const;

  private:
    // Hands on what a tick since the last look released.
    void advance(Nanos now);

    Nanos latency_;
    Nanos last_look_{0};
    std::string held_;
    std::string ready_;
};

} // namespace boxsim
