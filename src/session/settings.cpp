#include "session/settings.h"

namespace velk2 {

std::string read_setting(Context& ctx, const std::string& section, const std::string& key) {
    return ctx.platform.read_setting(section, key);
}

void store_setting(Context& ctx, const std::string& section, const std::string& key,
                   const std::string& value) {
    ctx.platform.store_setting(section, key, value);
}

} // namespace velk2
