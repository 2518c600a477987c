#include "shell/handlers.h"

#include "download/download_receive.h"
#include "download/download_timers.h"
#include "fuji/fuji_def.h"
#include "fuji/fuji_live.h"
#include "fuji/fuji_put.h"
#include "fuji/getfuji.h"
#include "serial/port_connection.h"
#include "service/service_upload.h"
#include "shell/file_selection.h"
#include "shell/main_window.h"
#include "upload/upload_driver.h"

namespace velk2 {

namespace {

void on_click(Context& ctx, const char* name, void (*handler)(Context&)) {
    if (auto* c = ctx.window.find(name)) c->on_click = [&ctx, handler] { handler(ctx); };
}

void on_tick(Context& ctx, const char* name, void (*handler)(Context&)) {
    if (auto* c = ctx.window.find(name)) c->on_tick = [&ctx, handler] { handler(ctx); };
}

} // namespace

void start_upload(Context& ctx) {
    cm1_Click(ctx);
}

void start_service_upload(Context& ctx) {
    cmbinup_Click(ctx);
}

void wire_handlers(Context& ctx) {
    on_click(ctx, "cm1", cm1_Click);
    on_click(ctx, "cm2", cm2_Click);
    on_click(ctx, "cm3", cm3_Click);
    on_click(ctx, "cmbin", cmbin_Click);
    on_click(ctx, "cm4", cm4_Click);
    on_click(ctx, "cg1", cg1_Click);
    on_click(ctx, "cmbinup", cmbinup_Click);
    on_click(ctx, "cmgetfuji", cmgetfuji_Click);
    on_click(ctx, "cmchgfuji", cmchgfuji_Click);
    on_click(ctx, "cmdeffuji", cmdeffuji_Click);
    on_click(ctx, "cmputfuji", cmputfuji_Click);

    on_tick(ctx, "tmrY", tmrY_Timer);
    on_tick(ctx, "tmrY2", tmrY2_Timer);
    on_tick(ctx, "tmrY3", tmrY3_Timer);
    on_tick(ctx, "tmrY4", tmrY4_Timer);
    on_tick(ctx, "tmrR1", tmrR1_Timer);
    on_tick(ctx, "tmrR2", tmrR2_Timer);
    on_tick(ctx, "tmrR3", tmrR3_Timer);
    on_tick(ctx, "tmrR4", tmrR4_Timer);

    ctx.window.on_close = [&ctx] { Win_1_Close(ctx); };
    ctx.window.on_activate = [&ctx] { Win_1_Activate(ctx); };
}

} // namespace velk2
