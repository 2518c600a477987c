#include "shell/timer_controls.h"

#include "platform/timers.h"
#include "shell/window_layout.h"

namespace velk2 {

namespace {

class TimerControls final : public WindowTimers {
  public:
    explicit TimerControls(Context& ctx) : ctx_(ctx) {}

    void set_interval(Timer timer, int ms) override {
        timer_set_interval(ctx_.window, timer_name(timer), ms, ctx_.platform.monotonic_ms());
    }
    void set_on(Timer timer, bool on) override {
        timer_switch(ctx_.window, timer_name(timer), on, ctx_.platform.monotonic_ms());
    }
    bool is_on(Timer timer) const override { return timer_is_on(ctx_.window, timer_name(timer)); }

  private:
    Context& ctx_;
};

} // namespace

std::unique_ptr<WindowTimers> make_timer_controls(Context& ctx) {
    return std::make_unique<TimerControls>(ctx);
}

} // namespace velk2
