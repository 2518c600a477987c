#include "station/station_options.h"

#include <charconv>

namespace velk2 {

namespace {

// Whole numbers from 1 on, digits only.
std::optional<int> count_of(const std::string& text) {
    int n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (text.empty() || text[0] == '-' || ec != std::errc() || end != text.data() + text.size() ||
        n < 1)
        return std::nullopt;
    return n;
}

} // namespace

bool station_requested(const std::vector<std::string>& args) {
    return !args.empty() && args[0] == "--station";
}

StationCommand station_command(const std::vector<std::string>& args) {
    StationCommand out;
    StationOptions& o = out.options;
    bool no_window = false, file = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--no-window" && !no_window) {
            no_window = true;
            o.window = false;
            continue;
        }
        if ((a == "--file" && !file) || (a == "--count" && !o.count)) {
            if (i + 1 == args.size()) return {{}, a + " needs a value"};
            const std::string& value = args[++i];
            if (a == "--file") {
                if (value.empty()) return {{}, "--file needs a file name"};
                file = true;
                o.file = value;
            } else if (!(o.count = count_of(value))) {
                return {{}, "--count takes a whole number from 1 on, not " + value};
            }
            continue;
        }
        if (a == "--no-window" || a == "--file" || a == "--count") return {{}, a + " given twice"};
        if (a.starts_with("-")) return {{}, "unknown option " + a};
        o.ports.push_back(a);
    }
    if (!o.window && o.file.empty()) return {{}, "--no-window needs --file FILE"};
    return out;
}

} // namespace velk2
