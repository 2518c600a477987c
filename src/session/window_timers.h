// The window timers that the transfers wait on. The shell runs them on the
// window's own timers, which tick inside event processing; only it knows
// what they are called.
#pragma once

namespace velk2 {

enum class Timer { y4, r1, r2, r3, r4 };

class WindowTimers {
  public:
    virtual ~WindowTimers() = default;

    // Setting the interval or switching a timer on starts a new interval; a
    // one-shot timer switches itself off when it has run out.
    virtual void set_interval(Timer timer, int ms) = 0;
    virtual void set_on(Timer timer, bool on) = 0;
    virtual bool is_on(Timer timer) const = 0;
};

} // namespace velk2
