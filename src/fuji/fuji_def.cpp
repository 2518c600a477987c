#include "fuji/fuji_def.h"

#include "fuji/block_files.h"
#include "fuji/fuji_data.h"
#include "fuji/fuji_frame.h"
#include "fuji/monitor_commands.h"
#include "serial/primitives.h"

namespace velk2 {

namespace {

constexpr Button button = Button::def;
constexpr int poke_pause_ms = 220;

void poke_stage(Context& ctx, const std::string& list) {
    for (const PatchRecord& record : patch_records(list)) {
        ctx.platform.diag("3");
        port_send(ctx, mon_poke(record.address, record.value));
        ctx.platform.diag("3 o");
        pause(ctx, poke_pause_ms);
        const std::string status = port_read(ctx, 1);
        ctx.platform.diag("3 o o");
        // A monitor that did not take this value is not given the rest.
        if (status != std::string(1, '\0')) return;
    }
}

// The block writes go out back to back; their acknowledgements are left for
// the port's close to discard.
void file_stage(Context& ctx) {
    ctx.platform.diag("4");
    for (const BlockFile& file : read_block_files(ctx, block_folder(ctx, default_block_folder))) {
        ctx.platform.diag("4 " + file.name);
        port_send(ctx, mon_write(file.address, file.data));
    }
    ctx.platform.diag("4 o");
}

void def_body(Context& ctx, const std::string& list) {
    ctx.report->caption(button, "WORK");
    poke_stage(ctx, list);
    file_stage(ctx);
    ctx.report->caption(button, "fuji Def");
    process_events(ctx);
}

} // namespace

void fuji_def(Context& ctx) {
    std::string list;
    FujiOperation op;
    op.button = button;
    op.before_open = [&ctx] { ctx.fuji_file = "getfuji"; };
    op.before_ping = [&ctx] { ctx.platform.diag("1"); };
    op.after_ping = [&ctx, &list] {
        ctx.platform.diag("1 o");
        list = default_patch_list();
        ctx.platform.diag("2");
    };
    op.reply_taken = [&ctx](const std::string&) { ctx.platform.diag("2 o"); };
    op.body = [&ctx, &list] { def_body(ctx, list); };
    run_fuji_frame(ctx, op);
}

} // namespace velk2
