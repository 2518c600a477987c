#include "fuji/fuji_live.h"

#include "fuji/fuji_data.h"
#include "fuji/fuji_frame.h"
#include "serial/primitives.h"

namespace velk2 {

namespace {

constexpr Button button = Button::live;

// The loop processes no events, so STOP cannot close the port under it; but
// an adapter pulled out must end it as surely as the user's abort request.
bool port_failed(const Context& ctx) {
    return !ctx.port || !ctx.port->is_open() || port_lost(ctx);
}

bool stop_requested(Context& ctx) {
    return abort_requested(ctx) || port_failed(ctx);
}

// Takes single bytes until the monitor's 0x00 arrives; other bytes and empty
// reads are passed over. False when told to stop first.
bool acknowledged(Context& ctx) {
    for (;;) {
        if (stop_requested(ctx)) return false;
        if (port_read(ctx, 1) == std::string(1, '\0')) return true;
    }
}

void live_body(Context& ctx, const std::string& command) {
    ctx.report->caption(button, "WORK");
    process_events(ctx);
    do {
        port_send(ctx, command);
    } while (acknowledged(ctx) && !stop_requested(ctx));
    ctx.report->caption(button, "fuji Live");
    process_events(ctx);
}

} // namespace

void fuji_live(Context& ctx) {
    const std::string command = live_command();
    FujiOperation op;
    op.button = button;
    op.body = [&ctx, &command] { live_body(ctx, command); };
    run_fuji_frame(ctx, op);
}

} // namespace velk2
