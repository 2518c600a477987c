#include "options.h"

#include <charconv>

namespace boxsim {
namespace {

std::optional<unsigned long long> parse_number(std::string_view text, int base) {
    if (base == 16 && (text.starts_with("0x") || text.starts_with("0X"))) text.remove_prefix(2);
    unsigned long long value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

std::optional<unsigned> parse_count(std::string_view text) {
    const auto value = parse_number(text, 10);
    if (!value || *value > 0xFFFFFFFFULL) return std::nullopt;
    return static_cast<unsigned>(*value);
}

// Applies one --fault text to the options of the chosen role.
std::string apply_fault(Options& options, std::string_view text) {
    const std::size_t eq = text.find('=');
    const std::string_view name = text.substr(0, eq);
    const std::optional<std::string_view> value =
        eq == std::string_view::npos ? std::nullopt : std::optional(text.substr(eq + 1));
    const auto flag = [&](bool& field) -> std::string {
        if (value) return "fault " + std::string(name) + " takes no value";
        field = true;
        return {};
    };
    const auto count = [&](std::optional<unsigned>& field) -> std::string {
        const auto number = value ? parse_count(*value) : std::nullopt;
        if (!number)
            return "fault " + std::string(name) + " needs =K with a block or command count";
        field = *number;
        return {};
    };
    switch (options.role) {
    case RoleKind::bootloader: {
        auto& f = options.bootloader_faults;
        if (name == "nak-block") return count(f.nak_block);
        if (name == "silent") return flag(f.silent);
        if (name == "ack-first-eot") return flag(f.ack_first_eot);
        if (name == "drop-after-block") return count(f.drop_after_block);
        break;
    }
    case RoleKind::sender: {
        auto& f = options.sender_faults;
        if (name == "corrupt-crc") return count(f.corrupt_crc);
        if (name == "bad-header-start") return flag(f.bad_header_start);
        if (name == "stop-after-block") return count(f.stop_after_block);
        if (name == "absurd-size") return flag(f.absurd_size);
        if (name == "repeat-block") return count(f.repeat_block);
        if (name == "swap-blocks") return count(f.swap_blocks);
        if (name == "only-115200") {
            bool only = false;
            const std::string error = flag(only);
            if (error.empty()) options.baud = 115200;
            return error;
        }
        if (name == "header-name") {
            const auto unescaped = value ? unescape(*value) : std::nullopt;
            if (!unescaped) return "fault header-name needs =TEXT (\\xNN and \\\\ allowed)";
            f.header_name = *unescaped;
            return {};
        }
        break;
    }
    case RoleKind::monitor: {
        auto& f = options.monitor_faults;
        if (name == "silent-after") return count(f.silent_after);
        if (name == "bad-status") return flag(f.bad_status);
        if (name == "first-ping-ff") return flag(f.first_ping_ff);
        break;
    }
    }
    return "unknown fault for this role: " + std::string(text);
}

std::string check(Options& options, bool baud_given) {
    const bool monitor = options.role == RoleKind::monitor;
    if (!baud_given || options.baud == 0) options.baud = monitor ? 38400 : 230400;
    if (options.baud != 38400 && options.baud != 115200 && options.baud != 230400) {
        return "--baud must be 230400, 115200 or 38400";
    }
    if (monitor && options.baud == 115200) return "the monitor runs at 38400 or 230400";
    if (options.role == RoleKind::sender && options.file.empty()) {
        return "--role sender needs --file PATH";
    }
    if (!monitor && (!options.preloads.empty() || !options.dump.empty())) {
        return "--preload and --dump belong to --role monitor";
    }
    if (options.role != RoleKind::bootloader && (options.workshop.active() || options.number_files))
        return "--appear-after, --restart-for, --swap-after, --boxes and --number-files belong "
               "to --role bootloader";
    if (options.workshop.boxes && !options.workshop.swap_after)
        return "--boxes needs --swap-after: without it no second box comes";
    return {};
}

} // namespace

std::optional<std::chrono::milliseconds> parse_seconds(std::string_view text) {
    const std::size_t dot = text.find('.');
    const std::string_view whole = text.substr(0, dot);
    std::string_view fraction = dot == text.npos ? std::string_view{} : text.substr(dot + 1);
    if (whole.empty() || (dot != text.npos && (fraction.empty() || fraction.size() > 3)))
        return std::nullopt;
    const auto seconds = parse_number(whole, 10);
    if (!seconds || *seconds > 86400) return std::nullopt;
    unsigned long long ms = 0;
    if (!fraction.empty()) {
        const auto digits = parse_number(fraction, 10);
        if (!digits) return std::nullopt;
        ms = *digits;
        for (std::size_t i = fraction.size(); i < 3; ++i) ms *= 10;
    }
    const unsigned long long total = *seconds * 1000 + ms;
    if (total > 86400ULL * 1000) return std::nullopt;
    return std::chrono::milliseconds(total);
}

std::optional<std::string> unescape(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '\\') {
            out += '\\';
            ++i;
            continue;
        }
        if (i + 3 < text.size() && text[i + 1] == 'x') {
            const auto value = parse_number(text.substr(i + 2, 2), 16);
            if (!value) return std::nullopt;
            out += static_cast<char>(*value);
            i += 3;
            continue;
        }
        return std::nullopt;
    }
    return out;
}

ParsedOptions parse_options(const std::vector<std::string_view>& args) {
    Options options;
    bool role_given = false;
    bool baud_given = false;
    std::vector<std::string_view> faults;
    const auto fail = [](std::string error) {
        return ParsedOptions{std::nullopt, std::move(error)};
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        std::optional<std::string_view> inline_value;
        if (const std::size_t eq = arg.find('='); arg.starts_with("--") && eq != arg.npos) {
            inline_value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
        }
        const auto value = [&]() -> std::optional<std::string_view> {
            if (inline_value) return inline_value;
            if (i + 1 < args.size()) return args[++i];
            return std::nullopt;
        };
        const bool takes_no_value = arg == "--pace" || arg == "--once" || arg == "--help" ||
                                    arg == "-h" || arg == "--number-files";
        if (takes_no_value && inline_value) return fail(std::string(arg) + " takes no value");

        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--pace") {
            options.pace = true;
        } else if (arg == "--once") {
            options.once = true;
        } else if (arg == "--number-files") {
            options.number_files = true;
        } else {
            const auto v = value();
            if (!v) return fail(std::string(arg) + " needs a value");
            if (arg == "--role") {
                role_given = true;
                if (*v == "bootloader") {
                    options.role = RoleKind::bootloader;
                } else if (*v == "sender") {
                    options.role = RoleKind::sender;
                } else if (*v == "monitor") {
                    options.role = RoleKind::monitor;
                } else {
                    return fail("--role must be bootloader, sender or monitor");
                }
            } else if (arg == "--baud") {
                const auto baud = parse_number(*v, 10);
                if (!baud || *baud > 4000000) return fail("--baud must be 230400, 115200 or 38400");
                options.baud = static_cast<int>(*baud);
                baud_given = true;
            } else if (arg == "--device") {
                options.device = std::string(*v);
            } else if (arg == "--out") {
                options.out_dir = std::string(*v);
            } else if (arg == "--file") {
                options.file = std::string(*v);
            } else if (arg == "--preload") {
                const std::size_t colon = v->find(':');
                const auto address =
                    colon == v->npos ? std::nullopt : parse_number(v->substr(0, colon), 16);
                if (!address || *address > 0xFFFFFFFFULL || colon + 1 == v->size()) {
                    return fail("--preload needs ADDR:FILE with a hex address");
                }
                options.preloads.push_back(
                    {static_cast<std::uint32_t>(*address), std::string(v->substr(colon + 1))});
            } else if (arg == "--dump") {
                options.dump = std::string(*v);
            } else if (arg == "--fault") {
                faults.push_back(*v);
            } else if (arg == "--adapter-latency") {
                // The range of an FTDI chip's latency timer.
                const auto ms = parse_number(*v, 10);
                if (!ms || *ms == 0 || *ms > 255)
                    return fail("--adapter-latency needs 1 to 255 milliseconds");
                options.adapter_latency = std::chrono::milliseconds(*ms);
            } else if (arg == "--appear-after" || arg == "--restart-for" || arg == "--swap-after") {
                const auto ms = parse_seconds(*v);
                if (!ms)
                    return fail(std::string(arg) +
                                " needs seconds (up to three decimals, at most 86400)");
                if (arg == "--appear-after") options.workshop.appear_after = *ms;
                if (arg == "--restart-for") options.workshop.restart_for = *ms;
                if (arg == "--swap-after") options.workshop.swap_after = *ms;
            } else if (arg == "--boxes") {
                const auto boxes = parse_count(*v);
                if (!boxes || *boxes == 0) return fail("--boxes needs a count of 1 or more");
                options.workshop.boxes = *boxes;
            } else if (arg == "--timeout") {
                const auto seconds = parse_number(*v, 10);
                if (!seconds || *seconds == 0 || *seconds > 86400) {
                    return fail("--timeout needs 1 to 86400 seconds");
                }
                options.timeout = std::chrono::seconds(*seconds);
            } else {
                return fail("unknown option " + std::string(args[i]));
            }
        }
    }
    if (options.help) return {options, {}};
    if (!role_given) return fail("--role bootloader|sender|monitor is required");
    // Faults come after the role is known; only-115200 overrides --baud.
    for (const auto fault : faults) {
        if (std::string error = apply_fault(options, fault); !error.empty()) return fail(error);
        options.fault_texts.emplace_back(fault);
        if (fault == "only-115200") baud_given = true;
    }
    if (std::string error = check(options, baud_given); !error.empty()) return fail(error);
    return {options, {}};
}

std::string usage_text() {
    return R"(usage: velk2-boxsim --role bootloader|sender|monitor [options]

  --baud 230400|115200|38400  the box's rate (default 230400; monitor 38400)
  --device PATH               serve a real serial device instead of a new pty
  --pace                      hold both directions to the line rate
  --adapter-latency MS        a USB adapter on the way to the PC: the box's bytes
                              go on in packets of 62 or when an MS-ms timer ticks
  --out DIR                   bootloader: folder for received files (default .)
  --file PATH                 sender: the file to send (required)
  --preload ADDR:FILE         monitor: put FILE into memory at hex ADDR (repeatable)
  --dump FILE                 monitor: write the memory dump to FILE on exit
  --fault FAULT               misbehave (repeatable), see README.md
  --once                      exit after one complete transfer
  --appear-after SECONDS      bootloader: the line is dead this long, then a box asks
  --restart-for SECONDS       bootloader: after an upload the box asks again this
                              long (restarted into its bootloader), then is gone
  --swap-after SECONDS        bootloader: after a box is gone, a new box asks once
                              the line has been dead this long
  --boxes N                   bootloader: boxes in all with --swap-after
  --number-files              bootloader: the k-th file received is saved as k-NAME
  --timeout SECONDS           exit after this much run time (default 600)

With a pty, the first line on stdout is the slave device path.
)";
}

} // namespace boxsim
