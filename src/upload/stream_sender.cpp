#include "upload/stream_sender.h"

#include <cstdint>
#include <string>

#include "serial/hex_format.h"
#include "serial/primitives.h"
#include "serial/trace_files.h"

namespace velk2 {

namespace {

struct EndStep {
    const char* status;
    char expected;
    const char* detail;
};

// EOT, EOT, closing block: the box asks for the first EOT again (NAK) and
// accepts the second one and the closing block (ACK).
constexpr EndStep end_steps[] = {
    {"end:1", ymodem_nak, "end1 input byte 0x15<>"},
    {"end:2", ymodem_ack, "end2 input byte 0x06<>"},
    {"end:3", ymodem_ack, "end3 input byte 0x06<>"},
};

void show_log(Context& ctx, const std::string& text) {
    ctx.report->log(text);
}

// Why the port can no longer carry the stream, or "" while it can: STOP
// closes it under the running transfer, an unplugged adapter or a vanished
// peer loses it.
std::string line_fault(const Context& ctx) {
    if (!ctx.port || !ctx.port->is_open()) return "port closed";
    if (port_lost(ctx)) return std::string("port lost: ") + device_gone;
    return {};
}

bool fail(Context& ctx, const std::string& detail) {
    ctx.platform.message_box("mistake:\n" + detail, "Hmmmmm");
    return false;
}

// One packet out. The packet is copied once for the port (1029 bytes at
// most); the stream itself is never rebuilt.
bool send_entry(Context& ctx, const Stream& stream, int entry, std::string& fault) {
    if (port_send(ctx, std::string(stream_packet(stream, entry)))) return true;
    fault = line_fault(ctx);
    if (fault.empty()) fault = "port write failed";
    return false;
}

// The first reply byte to a data block, polled one byte at a time without
// processing events; each empty read waits its own 2 ms, nothing else sleeps.
void poll_block_reply(Context& ctx) {
    const std::int64_t deadline = ctx.platform.monotonic_ms() + block_reply_ms;
    do {
        ctx.iui = port_read(ctx, 1);
    } while (ctx.iui.size() != 1 && ctx.platform.monotonic_ms() <= deadline && !port_lost(ctx));
}

// A box may put a NAK or a stray byte before its ACK, so two more single
// bytes are looked at before the block counts as refused. `iui` keeps the
// first reply for the message.
bool block_acknowledged(Context& ctx) {
    if (ctx.iui.size() == 1 && ctx.iui[0] == ymodem_ack) {
        ctx.iui += port_read(ctx, 2);
        return true;
    }
    for (int extra = 0; extra < 2; ++extra) {
        const std::string next = port_read(ctx, 1);
        if (next.size() == 1 && next[0] == ymodem_ack) {
            ctx.iui += port_read(ctx, 1);
            return true;
        }
    }
    return false;
}

// The first reply byte to an end step, waited for on tmrY4 with events
// running (the box may take its time to close the file).
bool wait_end_reply(Context& ctx, std::string& fault) {
    ctx.timers->set_interval(Timer::y4, end_reply_ms);
    ctx.timers->set_on(Timer::y4, true);
    do {
        process_events(ctx);
        fault = line_fault(ctx);
        if (!fault.empty()) break;
        ctx.iui = port_read(ctx, 1);
    } while (ctx.iui.size() != 1 && ctx.timers->is_on(Timer::y4));
    ctx.timers->set_on(Timer::y4, false);
    return fault.empty();
}

} // namespace

bool ap_send(Context& ctx, const Stream& stream) {
    ctx.report->clear_byte_counter();
    long long acknowledged = 0;
    show_log(ctx, "stream:I");

    std::string fault;
    for (int entry = 2; entry <= stream.last_data; ++entry) {
        if (!send_entry(ctx, stream, entry, fault)) return fail(ctx, fault);
        process_events(ctx);
        fault = line_fault(ctx);
        if (!fault.empty()) return fail(ctx, fault);
        poll_block_reply(ctx);
        if (!block_acknowledged(ctx)) {
            if (ctx.upload_debug)
                ctx.platform.diag("inp2 nincs hatos " + std::to_string(entry) + " " +
                                  std::to_string(ctx.iui.size()) + " " + hex_bytes(ctx.iui) + " " +
                                  clock_text(ctx));
            fault = line_fault(ctx);
            return fail(ctx, fault.empty() ? "input byte 0x06<>" + hex_bytes(ctx.iui) : fault);
        }
        acknowledged += static_cast<long long>(data_block_payload);
        ctx.report->byte_counter(acknowledged);
    }

    for (int s = 0; s < 3; ++s) {
        const EndStep& step = end_steps[s];
        show_log(ctx, step.status);
        if (!send_entry(ctx, stream, stream.last_data + 1 + s, fault)) return fail(ctx, fault);
        if (!wait_end_reply(ctx, fault)) return fail(ctx, fault);
        ctx.iui += port_read(ctx, 100);
        if (ctx.iui.find(step.expected) == std::string::npos)
            return fail(ctx, step.detail + hex_bytes(ctx.iui));
    }
    show_log(ctx, "done");
    return true;
}

} // namespace velk2
