#include "adapter.h"

namespace boxsim {

void Adapter::advance(Nanos now) {
    if (now < last_look_) now = last_look_;
    // A tick lies in (last_look_, now] when the two fall in different periods.
    if (!held_.empty() && latency_.count() > 0 && now / latency_ != last_look_ / latency_) {
        ready_ += held_;
        held_.clear();
    }
    last_look_ = now;
}

void Adapter::take(std::string_view bytes, Nanos now) {
    advance(now);
    if (latency_.count() <= 0) {
        ready_ += bytes;
        return;
    }
    held_ += bytes;
    // Whole packets leave as soon as they are full.
    const std::size_t whole = held_.size() / packet_bytes * packet_bytes;
    ready_.append(held_, 0, whole);
    held_.erase(0, whole);
}

std::string Adapter::hand_on(Nanos now) {
    advance(now);
    std::string out;
    out.swap(ready_);
    return out;
}

std::optional<Adapter::Nanos> Adapter::next_tick(Nanos now) const {
    if (held_.empty() || latency_.count() <= 0) return std::nullopt;
    const Nanos from = std::max(now, last_look_);
    return (from / latency_ + 1) * latency_;
}

} // namespace boxsim
