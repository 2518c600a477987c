#include "fuji/fuji_frame.h"

#include "fuji/monitor_commands.h"
#include "serial/port_connection.h"
#include "serial/primitives.h"
#include "session/exchange_guard.h"

namespace velk2 {

namespace {

void run(const std::function<void()>& step) {
    if (step) step();
}

bool ping_answered(Context& ctx, const FujiOperation& op) {
    run(op.before_ping);
    port_send(ctx, mon_ping());
    run(op.after_ping);
    pause(ctx, fuji_ping_pause_ms);
    const std::string reply = port_read(ctx, fuji_ping_read_max);
    if (op.reply_taken) op.reply_taken(reply);
    // A short, long or late reply is as wrong as none.
    return reply == ping_reply(speed_38400);
}

} // namespace

void run_fuji_frame(Context& ctx, const FujiOperation& op) {
    const ExchangeGuard guard(ctx, Exchange::fuji);
    if (!guard) return;
    ctx.report->enable(op.button, false);
    run(op.before_open);
    if (port_open_plain(ctx, "38400")) {
        run(op.opened);
        if (ping_answered(ctx, op)) run(op.body);
    }
    port_close(ctx);
    ctx.report->enable(op.button, true);
}

} // namespace velk2
