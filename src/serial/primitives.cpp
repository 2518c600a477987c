#include "serial/primitives.h"

#include <cstdio>

namespace velk2 {

// An end signal is looked for at every send and read as well: the download's
// block phase runs no events for minutes, and no byte may leave after it.
bool port_send(Context& ctx, const std::string& bytes) {
    ctx.platform.check_interrupt();
    return ctx.port && ctx.port->is_open() && ctx.port->write(bytes);
}

std::string port_read(Context& ctx, std::size_t n) {
    if (ctx.port && ctx.port->is_open()) {
        std::string got = ctx.port->read(n);
        ctx.platform.check_interrupt();
        return got;
    }
    // A closed port (STOP pressed) answers nothing; waiting the shortest
    // time-out keeps the callers' polling loops from spinning.
    ctx.platform.pause(1);
    return {};
}

void pause(Context& ctx, int ms) {
    ctx.platform.pause(ms);
}

void process_events(Context& ctx) {
    ctx.platform.process_events();
}

bool abort_requested(Context& ctx) {
    return ctx.platform.mouse_buttons() > 1;
}

bool port_lost(const Context& ctx) {
    return ctx.port && ctx.port->is_open() && ctx.port->line_lost();
}

std::string clock_text(Context& ctx) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", ctx.platform.seconds_since_midnight());
    return text;
}

} // namespace velk2
