// A box bootloader played on a headless line: what it says after each open
// of the port, and how it answers block 0, the data blocks and the end
// exchange. The upload tests describe a box in a few fields of this script.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/headless.h"

namespace velk2::test {

const std::string ack(1, '\x06');
const std::string nak(1, '\x15');

struct Hello {
    std::string baud; // said only after an open at this rate
    int after_ms;     // time after that open
    std::string bytes;
};

struct BootloaderScript {
    std::vector<Hello> hello;
    std::string block0_reply = ack;
    std::map<int, std::string> block_replies; // data block k (from 1); ACK when absent
    std::string eot1_reply = nak;
    std::string eot2_reply = ack;
    std::string closing_reply = ack;
    int reply_after_ms = 1;
};

// Binds the script to the line; `script` must outlive the line's use.
inline void play_bootloader(HeadlessLine& line, const BootloaderScript& script) {
    line.on_open = [&script](HeadlessLine& l) {
        for (const Hello& h : script.hello)
            if (h.baud == l.baud) l.send(h.bytes, std::int64_t(h.after_ms) * 1000);
    };
    line.on_write = [&script, block = 0, eots = 0](HeadlessLine& l, const std::string& w) mutable {
        std::string reply;
        if (w.size() == 133 && w[3] != '\0') {
            reply = script.block0_reply; // block 0 carries the file name
        } else if (w.size() == 1029) {
            auto it = script.block_replies.find(++block);
            reply = it == script.block_replies.end() ? ack : it->second;
        } else if (w.size() == 1 && w[0] == '\x04') {
            reply = ++eots == 1 ? script.eot1_reply : script.eot2_reply;
        } else if (w.size() == 133) {
            reply = script.closing_reply;
        }
        l.send(reply, std::int64_t(script.reply_after_ms) * 1000);
    };
}

} // namespace velk2::test
