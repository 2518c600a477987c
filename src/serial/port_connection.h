// The one serial connection: open at a rate (with or without the device
// set-up), close, and show the state in the communication field. An open that
// fails shows the port, the device and the reason there and on the
// diagnostic output.
#pragma once

#include <string>

#include "session/context.h"

namespace velk2 {

// Opens `com_port` at `baud` with the 1-ms read time-outs and 8N1 line
// settings, saving the line record to "dcb1" in the work folder and tracing
// "Open-I"/"Open-O".
bool port_open(Context& ctx, const std::string& baud);
// Opens without device set-up and without trace (the box monitor's way).
bool port_open_plain(Context& ctx, const std::string& baud);
// Closes the port (harmless when closed) and shows the closed state.
void port_close(Context& ctx);

// The device text of the trace: port + ":" + baud + ",n,8,1".
std::string device_text(const Context& ctx, const std::string& baud);

} // namespace velk2
