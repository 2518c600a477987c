#include "fuji/fuji_put.h"

#include "fuji/block_files.h"
#include "fuji/fuji_data.h"
#include "fuji/fuji_frame.h"
#include "fuji/monitor_commands.h"
#include "serial/hex_format.h"
#include "serial/primitives.h"

namespace velk2 {

namespace {

constexpr Button button = Button::put;
constexpr int reply_pause_ms = 220;
const std::string ok_status(1, '\0');

// Pokes one record and peeks it back; false when the monitor reported a
// failure, which ends the stage after this record.
bool poke_and_check(Context& ctx, const PatchRecord& record) {
    port_send(ctx, mon_poke(record.address, record.value));
    pause(ctx, reply_pause_ms);
    bool ok = port_read(ctx, 1) == ok_status;

    port_send(ctx, mon_peek(record.address));
    pause(ctx, reply_pause_ms);
    const std::string stored = port_read(ctx, 4);
    ctx.platform.diag((stored == record.value ? "OK out : " : "problem out : ") +
                      hex_dump(le32(record.address)) + " : " + hex_dump(record.value) +
                      " inp : " + hex_dump(stored));
    // The peek's status byte has come with its data.
    if (port_read(ctx, 1) != ok_status) ok = false;
    return ok;
}

// Each region is cleared with as many zero bytes as its file is long, once
// the user has confirmed.
void file_stage(Context& ctx) {
    ctx.platform.diag("dir");
    for (const BlockFile& file : read_block_files(ctx, block_folder(ctx, put_block_folder))) {
        ctx.platform.diag(file.name);
        ctx.platform.message_box("baj", "");
        port_send(ctx, put_clear_command(file.address, file.data.size()));
    }
    ctx.platform.diag("dir OK");
}

void put_body(Context& ctx, const std::string& list) {
    ctx.report->caption(button, "WORK");
    for (const PatchRecord& record : patch_records(list))
        if (!poke_and_check(ctx, record)) break;
    file_stage(ctx);
    ctx.report->caption(button, "fuji Put");
    process_events(ctx);
}

} // namespace

void fuji_put(Context& ctx) {
    std::string list;
    FujiOperation op;
    op.button = button;
    op.before_open = [&ctx] { ctx.platform.diag("ope"); };
    op.opened = [&ctx] { ctx.platform.diag("ope OK"); };
    op.after_ping = [&list] { list = put_patch_list(); };
    op.reply_taken = [&ctx](const std::string& reply) {
        ctx.platform.diag("input : " + hex_dump(reply));
    };
    op.body = [&ctx, &list] { put_body(ctx, list); };
    run_fuji_frame(ctx, op);
}

} // namespace velk2
