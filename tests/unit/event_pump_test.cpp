#include <gtest/gtest.h>

#include <csignal>
#include <stdexcept>

#include "platform/event_pump.h"
#include "platform/headless.h"
#include "platform/timers.h"

namespace velk2 {
namespace {

// What the pump asks of a front end, in order, for a timer due at 10 ms: a
// wait lasts until it is due, a handler's error comes out before any timer
// runs, an end signal before anything is delivered, and a front end that can
// deliver nothing ends the wait.
TEST(EventPump, EveryFrontEndRunsItsEventsInOneOrder) {
    const struct {
        const char* name;
        bool wait;
        int now_ms;
        bool handler_fails, nothing_comes, window_gone, signal;
        const char* calls;
        const char* outcome;
    } cases[] = {
        {"process, due", false, 10, false, false, false, false, "present deliver@10 tick present ",
         "done"},
        {"process, not yet due", false, 4, false, false, false, false, "present deliver@4 present ",
         "done"},
        {"wait", true, 4, false, false, false, false, "present deliver@10 present ", "true"},
        {"wait, due", true, 10, false, false, false, false, "present deliver@10 tick present ",
         "true"},
        {"handler failed", true, 10, true, false, false, false, "present deliver@10 ", "error"},
        {"nothing can come", true, 4, false, true, false, false, "present deliver@10 ", "false"},
        {"window gone", true, 4, false, false, true, false, "", "false"},
        {"end signal", false, 10, false, false, false, true, "", "interrupted"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HeadlessPlatform platform;
        std::string calls;
        EventPump* self = nullptr;
        EventPump pump(platform, {[&] { calls += "present "; },
                                  [&](std::optional<std::int64_t> until) {
                                      calls +=
                                          "deliver@" + std::to_string(until.value_or(-1)) + " ";
                                      if (c.handler_fails)
                                          self->run_handler([] { throw std::runtime_error("x"); });
                                      return !c.nothing_comes;
                                  }});
        self = &pump;
        Control timer;
        timer.name = "t";
        timer.kind = ControlKind::timer;
        timer.on_tick = [&] { calls += "tick "; };
        Window w;
        w.add(timer);
        w.exists = !c.window_gone;
        pump.attach(w);
        timer_set_interval(w, "t", 10, 0);
        timer_switch(w, "t", true, 0);
        platform.pause(c.now_ms);
        if (c.signal) platform.signal_at(c.now_ms, SIGINT);
        std::string outcome;
        try {
            outcome =
                c.wait ? (pump.wait_event() ? "true" : "false") : (pump.process_events(), "done");
        } catch (const std::runtime_error&) {
            outcome = "error";
        } catch (const Interrupted&) {
            outcome = "interrupted";
        }
        EXPECT_EQ(calls, c.calls);
        EXPECT_EQ(outcome, c.outcome);
    }
}

} // namespace
} // namespace velk2
