#include "fuji/getfuji.h"

#include <fstream>

#include "fuji/fuji_data.h"
#include "fuji/fuji_frame.h"
#include "fuji/monitor_commands.h"
#include "platform/os_path.h"
#include "serial/primitives.h"

namespace velk2 {

namespace {

constexpr int reply_pause_ms = 220;
// The data of a read with count c, then the status byte.
constexpr std::size_t head_reply_max = 64 + 1;
constexpr std::size_t trail_reply_max = 8 + 1;

// The reply without its status byte.
std::string data_of(const std::string& reply) {
    return reply.empty() ? reply : reply.substr(0, reply.size() - 1);
}

void append(std::ofstream& file, const std::string& bytes) {
    file.write(bytes.data(), std::streamsize(bytes.size()));
}

void getfuji_body(Context& ctx) {
    std::ofstream file(os_path(ctx.work_dir + ctx.fuji_file), std::ios::binary | std::ios::trunc);
    if (!file) ctx.platform.diag(ctx.fuji_file + " not written");

    port_send(ctx, mon_read(fuji_block, fuji_head_count));
    pause(ctx, reply_pause_ms);
    const std::string r1 = port_read(ctx, head_reply_max);
    const std::string head = data_of(r1);
    append(file, head);

    // The count n that places the trail is only trusted from a whole head
    // that the monitor reported as read.
    std::string trail;
    if (r1.size() == head_reply_max && r1.back() == '\0') {
        port_send(ctx, mon_read(fuji_trail_address(head), fuji_trail_count));
        pause(ctx, reply_pause_ms);
        trail = data_of(port_read(ctx, trail_reply_max));
        append(file, trail);
    }

    ctx.report->title(fuji_summary_title(head + trail));
}

} // namespace

void getfuji(Context& ctx) {
    FujiOperation op;
    op.button = Button::getfuji;
    op.before_ping = [&ctx] { ctx.platform.diag("1"); };
    op.after_ping = [&ctx] { ctx.platform.diag("1 OK"); };
    op.body = [&ctx] { getfuji_body(ctx); };
    run_fuji_frame(ctx, op);
}

} // namespace velk2
