#include "shell/exchange_guard.h"

namespace velk2 {

std::string running_exchange(const Context& ctx) {
    if (ctx.upload_running) return "upload";
    if (ctx.transfer_state == 2) return "download";
    if (ctx.service_running) return "service";
    return {};
}

} // namespace velk2
