#include "shell/error_report.h"

#include "shell/app_filename.h"

namespace velk2 {

const char* const support_address = "support@velk2.example";

std::optional<std::string> app_filename3(Context& ctx, const std::string& path) {
#ifdef _WIN32
    auto plain = app_filename3_text(path);
#else
    auto plain = app_filename3_posix(path);
#endif
    if (plain) return plain;
    std::string title = "This info SEND to ";
    title += support_address;
    ctx.platform.message_box("[" + path + "]", title);
    ctx.platform.process_events();
    ctx.platform.close_window();
    return std::nullopt;
}

} // namespace velk2
