// The frame that the four fuji operations share: disable the operation's
// button, open the port plainly at 38400 baud, ping the box monitor, run the
// body only when the monitor answers, then close the port and enable the
// button again.
#pragma once

#include <functional>
#include <string>

#include "session/context.h"

namespace velk2 {

// Every fuji ping is answered within this time and with at most this many
// bytes.
constexpr int fuji_ping_pause_ms = 220;
constexpr std::size_t fuji_ping_read_max = 100;

// One operation's part in the frame. Only `button` and `body` are needed;
// the other steps hold the operation's own diagnostic lines and set-up.
struct FujiOperation {
    Button button;
    std::function<void()> before_open;
    std::function<void()> opened;
    std::function<void()> before_ping;
    std::function<void()> after_ping; // between sending the ping and taking its reply
    std::function<void(const std::string& reply)> reply_taken;
    std::function<void()> body;
};

// Runs the frame around `op.body`.
void run_fuji_frame(Context& ctx, const FujiOperation& op);

} // namespace velk2
