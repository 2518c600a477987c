#include "download/download_timers.h"

#include "serial/port_connection.h"
#include "serial/primitives.h"

namespace velk2 {

void stop_header_timers(Context& ctx) {
    ctx.timers->set_on(Timer::r1, false);
    ctx.timers->set_on(Timer::r2, false);
    ctx.timers->set_on(Timer::r3, false);
}

void tmrR1_Timer(Context& ctx) {
    stop_header_timers(ctx);
}

namespace {

// A failed reopening ends the wait at the download loop's next check; the
// rate is kept so that the download can say why it got no header.
void reopen(Context& ctx, const std::string& baud) {
    if (port_open(ctx, baud)) {
        ctx.refused_rates.clear();
        return;
    }
    if (ctx.refused_rates.find(baud) == std::string::npos)
        ctx.refused_rates += (ctx.refused_rates.empty() ? "" : " or ") + baud;
    tmrR1_Timer(ctx);
}

} // namespace

void tmrR2_Timer(Context& ctx) {
    ctx.timers->set_on(Timer::r2, false);
    port_close(ctx);
    if (ctx.turbo) {
        reopen(ctx, "230400");
        ctx.turbo = false;
    } else {
        reopen(ctx, "115200");
        ctx.turbo = true;
    }
    port_send(ctx, ctx.reply);
    ctx.timers->set_on(Timer::r2, true);
}

void tmrR3_Timer(Context& ctx) {
    if (ctx.idob == 0)
        tmrR1_Timer(ctx);
    else
        --ctx.idob;
    ctx.platform.diag("tmrR3 " + std::to_string(ctx.idob));
}

void tmrR4_Timer(Context& ctx) {
    ctx.timers->set_on(Timer::r4, false);
}

} // namespace velk2
