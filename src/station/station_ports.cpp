#include "station/station_ports.h"

#include <algorithm>
#include <charconv>

namespace velk2 {

namespace {

// "com3" and "Com3" name the port COM3, as Windows reads device names.
std::string port_key(const std::string& name) {
    if (name.size() > 3 && (name[0] & ~0x20) == 'C' && (name[1] & ~0x20) == 'O' &&
        (name[2] & ~0x20) == 'M' &&
        std::all_of(name.begin() + 3, name.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return "COM" + name.substr(3);
    return name;
}

std::vector<std::string> split_list(const std::string& text) {
    std::vector<std::string> items;
    std::string item;
    for (char c : text) {
        if (c == ',' || c == ' ' || c == '\t') {
            if (!item.empty()) items.push_back(item);
            item.clear();
        } else {
            item += c;
        }
    }
    if (!item.empty()) items.push_back(item);
    return items;
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

} // namespace

StationPorts station_ports(const std::vector<std::string>& command_line,
                           const StationSettingLookup& setting) {
    std::vector<std::string> given = command_line;
    if (given.empty()) given = split_list(setting("PORTS"));
    if (given.empty())
        for (int n = 1; n <= 8; ++n) given.push_back("COM" + std::to_string(n));

    StationPorts out;
    std::size_t dropped = 0;
    for (const std::string& name : given) {
        const std::string key = port_key(name);
        if (key.empty() || std::find(out.ports.begin(), out.ports.end(), key) != out.ports.end())
            continue;
        if (out.ports.size() == max_station_ports) {
            ++dropped;
            continue;
        }
        out.ports.push_back(key);
    }
    if (dropped > 0)
        out.problem = "the station serves " + std::to_string(max_station_ports) + " ports; " +
                      std::to_string(dropped) + " more left out";
    return out;
}

QuietTime station_quiet(const StationSettingLookup& setting) {
    const std::string text = trimmed(setting("QUIET"));
    if (text.empty()) return {};
    int n = -1;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc() || end != text.data() + text.size() || n < 0 || n > max_quiet_s ||
        text.front() == '-')
        return {default_quiet_s, "[STATION] QUIET=" + text + " is not whole seconds from 0 to " +
                                     std::to_string(max_quiet_s) + "; " +
                                     std::to_string(default_quiet_s) + " s apply"};
    return {n, ""};
}

} // namespace velk2
