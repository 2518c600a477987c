#include "pacer.h"

namespace boxsim {

void Pacer::set_baud(int baud) {
    constexpr long long bits_per_byte = 10;
    byte_time_ = Nanos(bits_per_byte * 1'000'000'000LL / std::max(baud, 1));
}

std::size_t Pacer::allowance(Nanos now) const {
    const Nanos room = now + lead_ - line_start(now);
    return room.count() <= 0 ? 0 : static_cast<std::size_t>(room / byte_time_);
}

void Pacer::spend(std::size_t count, Nanos now) {
    line_free_at_ = line_start(now) + byte_time_ * static_cast<long long>(count);
}

Nanos Pacer::next_byte_at(Nanos now) const {
    return std::max(now, line_free_at_ + byte_time_ - lead_);
}

Nanos Pacer::all_gone_at(std::size_t count, Nanos now) const {
    return std::max<Nanos>(now,
                           line_start(now) + byte_time_ * static_cast<long long>(count) - lead_);
}

} // namespace boxsim
