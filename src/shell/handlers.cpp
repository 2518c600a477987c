#include "shell/handlers.h"

#include "download/download_receive.h"
#include "fuji/fuji_def.h"
#include "fuji/fuji_live.h"
#include "fuji/fuji_put.h"
#include "fuji/getfuji.h"
#include "serial/port_connection.h"
#include "service/service_upload.h"
#include "session/exchange_guard.h"
#include "session/files.h"
#include "shell/file_selection.h"
#include "upload/upload_driver.h"

namespace velk2 {

namespace {

const char* const upload_title = "Tarnwick upload PC to box";
const char* const service_title = "Tarnwick service PC to box";
// The port test of "Upload to Box" for a BIN file.
const char* const bin_test_baud = "38400";

} // namespace

void cm1_Click(Context& ctx) {
    ctx.report->title(upload_title);
    if (ctx.port_flag) {
        port_close(ctx);
        return;
    }
    // Even the BIN route's port test must not reopen the port under a running
    // exchange.
    if (ExchangeGuard::refuses(ctx)) return;
    const std::string type = file_type(ctx.upload_file);
    if (type == "DSP" || type == "JPG") {
        upload_driver(ctx);
    } else if (type == "BIN") {
        if (port_open(ctx, bin_test_baud)) {
            port_close(ctx);
            cmbinup_Click(ctx);
        }
    }
}

void cm4_Click(Context& ctx) {
    port_close(ctx);
}

void cg1_Click(Context& ctx) {
    download_file(ctx);
}

void cmbinup_Click(Context& ctx) {
    ctx.report->title(service_title);
    if (ctx.port_flag) {
        port_close(ctx);
        return;
    }
    // The file is checked and loaded again once the exchange is over.
    if (service_upload(ctx)) apply_selected_file(ctx);
}

void cmgetfuji_Click(Context& ctx) {
    getfuji(ctx);
}
void cmchgfuji_Click(Context& ctx) {
    fuji_live(ctx);
}
void cmdeffuji_Click(Context& ctx) {
    fuji_def(ctx);
}
void cmputfuji_Click(Context& ctx) {
    fuji_put(ctx);
}

} // namespace velk2
