#include "platform/timers.h"

namespace velk2 {

namespace {
bool ticking(const Control& c) {
    return c.kind == ControlKind::timer && c.on && c.interval_ms > 0;
}
} // namespace

void timer_set_interval(Window& w, const std::string& name, int ms, std::int64_t now_ms) {
    Control& t = w.get(name);
    t.interval_ms = ms;
    t.due_ms = now_ms + ms;
}

void timer_switch(Window& w, const std::string& name, bool on, std::int64_t now_ms) {
    Control& t = w.get(name);
    if (on && !t.on) t.due_ms = now_ms + t.interval_ms;
    t.on = on;
}

bool timer_is_on(const Window& w, const std::string& name) {
    const Control* t = w.find(name);
    return t && t->on;
}

int run_due_timers(Window& w, std::int64_t now_ms) {
    int ticks = 0;
    // Handlers may switch timers, but never add controls, so indices stay valid.
    for (std::size_t i = 0; i < w.controls.size(); ++i) {
        Control& t = w.controls[i];
        if (!ticking(t) || t.due_ms > now_ms) continue;
        t.due_ms = now_ms + t.interval_ms;
        ++ticks;
        if (t.on_tick) {
            auto tick = t.on_tick; // the handler may replace itself
            tick();
        }
    }
    return ticks;
}

std::optional<std::int64_t> next_timer_due(const Window& w) {
    std::optional<std::int64_t> due;
    for (const auto& t : w.controls)
        if (ticking(t) && (!due || t.due_ms < *due)) due = t.due_ms;
    return due;
}

} // namespace velk2
