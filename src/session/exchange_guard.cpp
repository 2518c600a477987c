#include "session/exchange_guard.h"

namespace velk2 {

namespace {

const char* exchange_name(Exchange e) {
    switch (e) {
    case Exchange::upload:
        return "upload";
    case Exchange::download:
        return "download";
    case Exchange::service:
        return "service";
    case Exchange::fuji:
        return "fuji";
    case Exchange::none:
        break;
    }
    return "";
}

} // namespace

bool ExchangeGuard::refuses(Context& ctx) {
    if (ctx.exchange == Exchange::none) return false;
    ctx.platform.diag(std::string(exchange_name(ctx.exchange)) + " running");
    return true;
}

ExchangeGuard::ExchangeGuard(Context& ctx, Exchange exchange) : ctx_(ctx) {
    if (refuses(ctx)) return;
    ctx.exchange = exchange;
    taken_ = true;
}

ExchangeGuard::~ExchangeGuard() {
    if (taken_) ctx_.exchange = Exchange::none;
}

} // namespace velk2
