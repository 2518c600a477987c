// Sends the YMODEM stream of one upload after block 0: the data blocks, each
// answered by ACK, then the end exchange (EOT answered by NAK, EOT and the
// closing block answered by ACK) on the timer `tmrY4`.
#pragma once

#include "session/context.h"
#include "upload/ymodem_stream.h"

namespace velk2 {

// Sends entries 2 to last_data + 3 of `stream` over the open port and checks
// every reply. True once "done" is shown; false after the "mistake:" message
// box (title "Hmmmmm") that names the failed check. The port stays open.
bool ap_send(Context& ctx, const Stream& stream);

// The time the data phase waits for the first reply byte to a block, and
// each step of the end exchange for its reply.
constexpr int block_reply_ms = 1000;
constexpr int end_reply_ms = 20000;

} // namespace velk2
