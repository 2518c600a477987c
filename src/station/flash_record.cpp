#include "station/flash_record.h"

#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace velk2 {

namespace {

std::string two_digits(int n) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", n);
    return buf;
}

// The variable's value without one trailing folder separator; nullopt when
// it is unset or empty.
std::optional<std::string> folder_variable(const EnvLookup& env, const char* name, char separator) {
    auto value = env(name);
    if (!value || value->empty()) return std::nullopt;
    if (value->size() > 1 && value->back() == separator) value->pop_back();
    return value;
}

} // namespace

std::string iso8601(const LocalTime& t) {
    char buf[80];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    const int offset = std::abs(t.utc_offset_minutes);
    return std::string(buf) + (t.utc_offset_minutes < 0 ? "-" : "+") + two_digits(offset / 60) +
           ":" + two_digits(offset % 60);
}

std::string csv_field(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string record_seconds(std::int64_t ms) {
    const std::int64_t tenths = (ms + 50) / 100;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

std::string flash_record_header() {
    return "start,port,device,file,size,sha256,result,reason,seconds,bytes_per_s\n";
}

std::string flash_record_line(const FlashRecord& r) {
    const std::string fields[] = {
        r.start,
        r.port,
        r.device,
        r.file,
        std::to_string(r.size),
        r.sha256,
        r.result,
        r.reason,
        record_seconds(r.elapsed_ms),
        std::to_string(r.bytes_per_s),
    };
    std::string line = csv_field(fields[0]);
    for (std::size_t i = 1; i < std::size(fields); ++i) line += "," + csv_field(fields[i]);
    return line + "\n";
}

LogPath flash_log_path(const EnvLookup& env, PathStyle style) {
    if (style == PathStyle::windows) {
        if (auto base = folder_variable(env, "LOCALAPPDATA", '\\'))
            return {*base + "\\VELK2\\flash-log.csv", ""};
        return {"", "LOCALAPPDATA is not set"};
    }
    // A relative XDG_DATA_HOME is to be ignored, as the base directory rules say.
    if (auto base = folder_variable(env, "XDG_DATA_HOME", '/'); base && base->front() == '/')
        return {*base + "/VELK2/flash-log.csv", ""};
    if (auto home = folder_variable(env, "HOME", '/'); home && home->front() == '/')
        return {*home + "/.local/share/VELK2/flash-log.csv", ""};
    return {"", "neither XDG_DATA_HOME nor HOME is set to an absolute path"};
}

} // namespace velk2
