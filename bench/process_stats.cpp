#include "process_stats.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

namespace bench {
namespace {

// The fields of /proc/PID/stat after the command name (which may hold
// blanks and parentheses): [0] is the state, [1] the parent.
std::optional<std::vector<std::string>> stat_fields(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(f, text)) return std::nullopt;
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::istringstream rest(text.substr(close + 1));
    std::vector<std::string> fields;
    for (std::string field; rest >> field;) fields.push_back(field);
    return fields;
}

std::optional<long long> number(const std::string& text) {
    long long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// The value in kB of the line "NAME: value kB" of a /proc file.
std::optional<long> kib_field(const std::string& path, const std::string& name) {
    std::ifstream f(path);
    for (std::string word; f >> word;) {
        if (word != name) continue;
        long value = 0;
        if (f >> value) return value;
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace

std::optional<ProcessCpu> process_cpu(pid_t pid) {
    const auto fields = stat_fields(pid);
    // utime, stime, cutime, cstime are fields 14 to 17 of the line, [11] to [14] here.
    if (!fields || fields->size() < 15) return std::nullopt;
    const double tick = double(sysconf(_SC_CLK_TCK));
    long long t[4] = {};
    for (int i = 0; i < 4; ++i) {
        const auto v = number((*fields)[std::size_t(11 + i)]);
        if (!v) return std::nullopt;
        t[i] = *v;
    }
    return ProcessCpu{double(t[0] + t[1]) / tick, double(t[2] + t[3]) / tick};
}

std::optional<ProcessMemory> process_memory(pid_t pid) {
    const std::string dir = "/proc/" + std::to_string(pid);
    const auto rss = kib_field(dir + "/status", "VmRSS:");
    const auto peak = kib_field(dir + "/status", "VmHWM:");
    if (!rss || !peak) return std::nullopt;
    return ProcessMemory{*rss, *peak, kib_field(dir + "/smaps_rollup", "Pss:")};
}

std::vector<pid_t> children_of(pid_t pid) {
    std::vector<pid_t> out;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        const auto child = number(entry.path().filename().string());
        if (!child) continue;
        const auto fields = stat_fields(pid_t(*child));
        if (fields && fields->size() > 1 && number((*fields)[1]) == pid)
            out.push_back(pid_t(*child));
    }
    return out;
}

} // namespace bench
