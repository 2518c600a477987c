// Byte-level operations on the port of channel `com_number`, and the waits
// that every transfer shares. Each of them throws Interrupted once an end
// signal has arrived.
#pragma once

#include <cstddef>
#include <string>

#include "session/context.h"

namespace velk2 {

// Writes the bytes unchanged; dropped when the port is closed. False when
// they did not go out (closed port, or a line that refused them).
bool port_send(Context& ctx, const std::string& bytes);
// At most n bytes that have arrived (see SerialPort::read); "" on a closed
// port, after a short wait so that polling loops do not spin.
std::string port_read(Context& ctx, std::size_t n);
// Suspends the caller without processing events.
void pause(Context& ctx, int ms);
// Lets the window handle pending events once, timer ticks included.
void process_events(Context& ctx);
// A mouse button other than the left one alone is held down: stop waiting.
bool abort_requested(Context& ctx);
// The port is open but its device has gone (unplugged, peer closed).
bool port_lost(const Context& ctx);
// How a transfer's message says that: the same words in every message.
inline constexpr const char* device_gone = "the port's device went away (adapter unplugged?)";
// The seconds clock as trace and diagnostic lines show it: two decimals.
std::string clock_text(Context& ctx);

} // namespace velk2
