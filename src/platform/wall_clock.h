// The real clock of both front ends: a monotonic millisecond count for the
// window timers and the transfers' deadlines, and a plain sleep.
#pragma once

#include <chrono>
#include <cstdint>
#include <thread>

namespace velk2 {

inline std::int64_t steady_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The window runs no events meanwhile (timers, clicks).
inline void sleep_ms(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace velk2
