#include "station/worker_lines.h"

#include <charconv>
#include <vector>

namespace velk2 {

namespace {

std::string ms_as_seconds(std::int64_t ms) {
    std::string frac = std::to_string(ms % 1000);
    return std::to_string(ms / 1000) + "." + std::string(3 - frac.size(), '0') + frac;
}

// Decimal digits only: no sign, no blank, nothing after; nullopt on overflow.
std::optional<std::int64_t> whole_number(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::int64_t n = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc() || end != text.data() + text.size() || n < 0) return std::nullopt;
    if (text.front() < '0' || text.front() > '9') return std::nullopt;
    return n;
}

// "12", "12.5", "12.345": seconds as milliseconds, further decimals cut off.
std::optional<std::int64_t> seconds_as_ms(std::string_view text) {
    const std::size_t dot = text.find('.');
    const auto whole = whole_number(text.substr(0, dot));
    if (!whole || *whole > INT64_MAX / 1000 - 1) return std::nullopt;
    std::int64_t ms = *whole * 1000;
    if (dot == std::string_view::npos) return ms;
    const std::string_view frac = text.substr(dot + 1);
    if (frac.empty() || frac.size() > 9) return std::nullopt;
    for (char c : frac)
        if (c < '0' || c > '9') return std::nullopt;
    std::int64_t scale = 100;
    for (std::size_t i = 0; i < frac.size() && i < 3; ++i, scale /= 10)
        ms += (frac[i] - '0') * scale;
    return ms;
}

bool is_hex_digest(std::string_view text) {
    if (text.size() != 64) return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return false;
    return true;
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}

// The line split at single blanks into its first `fields` fields, and the
// rest after the blank that follows them (nullopt when there is no rest).
struct Split {
    std::vector<std::string_view> fields;
    std::optional<std::string_view> rest;
};

Split split(std::string_view line, std::size_t fields) {
    Split s;
    while (s.fields.size() < fields) {
        const std::size_t blank = line.find(' ');
        s.fields.push_back(line.substr(0, blank));
        if (blank == std::string_view::npos) return s;
        line.remove_prefix(blank + 1);
    }
    s.rest = line;
    return s;
}

std::optional<WorkerEvent> parse_result(const Split& s) {
    if (s.fields.size() != 4) return std::nullopt;
    WorkerResult r;
    if (s.fields[1] == "done")
        r.outcome = FlashOutcome::done;
    else if (s.fields[1] == "failed")
        r.outcome = FlashOutcome::failed;
    else if (s.fields[1] == "stopped")
        r.outcome = FlashOutcome::stopped;
    else
        return std::nullopt;
    const auto ms = seconds_as_ms(s.fields[2]);
    const auto rate = whole_number(s.fields[3]);
    if (!ms || !rate) return std::nullopt;
    r.elapsed_ms = *ms;
    r.bytes_per_s = *rate;
    if (s.rest) {
        if (r.outcome != FlashOutcome::failed) return std::nullopt;
        r.reason = without_controls(*s.rest);
    }
    return r;
}

} // namespace

const char* outcome_name(FlashOutcome outcome) {
    switch (outcome) {
    case FlashOutcome::done:
        return "done";
    case FlashOutcome::failed:
        return "failed";
    case FlashOutcome::stopped:
        return "stopped";
    }
    return "";
}

std::string without_controls(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = (unsigned char)text[i];
        if (b < 0x20 || b == 0x7F) {
            out += ' ';
        } else if (b == 0xC2 && i + 1 < text.size() && (unsigned char)text[i + 1] >= 0x80 &&
                   (unsigned char)text[i + 1] <= 0x9F) {
            out += ' ';
            ++i;
        } else {
            out += char(b);
        }
    }
    return out;
}

std::string format_worker_line(const WorkerEvent& event) {
    struct Format {
        std::string operator()(const WorkerReady& e) const {
            return "ready " + std::to_string(e.size) + " " + e.sha256;
        }
        std::string operator()(const WorkerQuiet&) const { return "quiet"; }
        std::string operator()(const WorkerWaiting& e) const {
            return "waiting " + without_controls(e.device);
        }
        std::string operator()(const WorkerFlashing& e) const {
            return "flashing " + std::to_string(e.bytes) + " " + std::to_string(e.total) + " " +
                   std::to_string(e.baud);
        }
        std::string operator()(const WorkerResult& e) const {
            std::string line = std::string("result ") + outcome_name(e.outcome) + " " +
                               ms_as_seconds(e.elapsed_ms) + " " + std::to_string(e.bytes_per_s);
            if (e.outcome == FlashOutcome::failed && !e.reason.empty())
                line += " " + without_controls(e.reason);
            return line;
        }
        std::string operator()(const WorkerError& e) const {
            return e.reason.empty() ? "error" : "error " + without_controls(e.reason);
        }
    };
    return std::visit(Format{}, event);
}

std::optional<WorkerEvent> parse_worker_line(std::string_view line) {
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::string_view word = line.substr(0, line.find(' '));

    if (word == "ready") {
        const Split s = split(line, 3);
        if (s.fields.size() != 3 || s.rest) return std::nullopt;
        const auto size = whole_number(s.fields[1]);
        if (!size || !is_hex_digest(s.fields[2])) return std::nullopt;
        return WorkerReady{*size, lower(s.fields[2])};
    }
    if (word == "quiet") {
        if (line != "quiet") return std::nullopt;
        return WorkerQuiet{};
    }
    if (word == "waiting") {
        const Split s = split(line, 1);
        if (!s.rest || s.rest->empty()) return std::nullopt;
        return WorkerWaiting{without_controls(*s.rest)};
    }
    if (word == "flashing") {
        const Split s = split(line, 4);
        if (s.fields.size() != 4 || s.rest) return std::nullopt;
        const auto bytes = whole_number(s.fields[1]);
        const auto total = whole_number(s.fields[2]);
        const auto baud = whole_number(s.fields[3]);
        if (!bytes || !total || !baud || *baud == 0) return std::nullopt;
        return WorkerFlashing{*bytes, *total, *baud};
    }
    if (word == "result") return parse_result(split(line, 4));
    if (word == "error") {
        const Split s = split(line, 1);
        return WorkerError{s.rest ? without_controls(*s.rest) : std::string()};
    }
    return std::nullopt;
}

} // namespace velk2
