// The upload of a DSP image or a wrapped JPG picture: the bootloader handshake (listen for "C" at
// 230400 baud, fall back to 115200 on the garbled 0x1E 0xFE), sends block 0
// and hands the rest of the stream to the sender.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "session/context.h"

namespace velk2 {

// One upload of `upload_data` as `upload_file` ("Upload to Box" for a DSP
// image or a wrapped picture, and the automatic upload of start-up). Starts
// nothing while another exchange holds the port. Always ends with the port
// closed; `upload_done` tells whether the box took the whole stream.
void upload_driver(Context& ctx);

// Why `upload_data` cannot be uploaded as `upload_file`, or nothing when it
// can: no data prepared for it, too big for one stream, a name that leaves no
// room for the size, or a picture that was not wrapped.
std::optional<std::string> upload_refusal(const Context& ctx);

// The 5-second wait for the bootloader's "C" and the pause before the reply
// to block 0 is read.
constexpr int wait_for_c_ms = 5000;
constexpr int block0_reply_pause_ms = 165;

} // namespace velk2
