// velk2-bench: the throughput benchmark of uploads and downloads against the
// box simulator paced at the real line rate. Prints figures; bench/run.sh
// builds the programs and calls it.
//
//   velk2-bench --velk2 PATH --boxsim PATH --download-bench PATH --work DIR [SELECTION...]
//
// SELECTION: all (default), quick (the 256 KiB cases), upload, download,
// parallel, reference, turnaround, adapter (the uploads and downloads through a
// USB adapter at 16, 4 and 1 ms, and the bare-line rows they compare with),
// station (16 ports through the station: waiting, and flashing; not in all), or
// case names as listed by --list.
// Exit status: 0 when every case ran, delivered its file byte-identical and
// met its targets; 3 when a target was missed; 1 when a case failed.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "case_support.h"
#include "download_cases.h"
#include "figures.h"
#include "machine_load.h"
#include "reference_peer.h"
#include "station_bench.h"
#include "turnaround.h"
#include "upload_cases.h"

namespace {

using namespace bench;

// 2 MiB less 8 KiB: a whole 2 MiB (2097152 bytes) exceeds both the upload
// stream's capacity (2093055 bytes) and the download's (2044 blocks, 2093056
// bytes), so the large cases use the largest round size below both.
constexpr std::size_t large = 2 * 1024 * 1024 - 8 * 1024;
constexpr std::size_t small = 256 * 1024;
constexpr std::size_t tiny = 1024; // the baseline runs' payload

enum class Kind { upload, parallel, download, reference_upload, reference_download, turnaround };

bool is_reference(Kind k) {
    return k == Kind::reference_upload || k == Kind::reference_download;
}

// Cases without targets or memory figures.
bool has_targets(Kind k) {
    return !is_reference(k) && k != Kind::turnaround;
}

struct Case {
    std::string name;
    Kind kind;
    std::size_t payload;
    int baud;
    int ports = 1;
    int adapter_ms = 0; // through a USB adapter with this latency timer; 0: a bare line
};

// The targets are the bare line's: an adapter's timer is not the loader's to
// beat, its rows say what it costs.
bool has_targets(const Case& c) {
    return has_targets(c.kind) && c.adapter_ms == 0;
}

const std::vector<Case>& all_cases() {
    static const std::vector<Case> cases = {
        {"up-256k-230400", Kind::upload, small, 230400},
        {"up-256k-115200", Kind::upload, small, 115200},
        {"up-2m-230400", Kind::upload, large, 230400},
        {"up-2m-115200", Kind::upload, large, 115200},
        {"up8-256k-230400", Kind::parallel, small, 230400},
        {"down-256k-230400", Kind::download, small, 230400},
        {"down-256k-115200", Kind::download, small, 115200},
        {"down-2m-230400", Kind::download, large, 230400},
        {"down-2m-115200", Kind::download, large, 115200},
        // The simulator's floor: a minimal peer instead of the loader.
        {"ref-up-256k-230400", Kind::reference_upload, small, 230400},
        {"ref-up-256k-115200", Kind::reference_upload, small, 115200},
        {"ref-down-256k-230400", Kind::reference_download, small, 230400},
        {"ref-down-256k-115200", Kind::reference_download, small, 115200},
        // The loader's time from the box's ACK to its next data block, as the
        // box times it: one upload, and 16 at once on COM1..COM16.
        {"turn-256k-230400", Kind::turnaround, small, 230400},
        {"turn16-256k-230400", Kind::turnaround, small, 230400, 16},
        // Through a USB serial adapter that holds the box's bytes for its
        // latency timer (FTDI's default 16 ms, and what a driver can be set
        // to); the bare-line rows above are the comparison.
        {"up-256k-230400-a16", Kind::upload, small, 230400, 1, 16},
        {"up-256k-230400-a4", Kind::upload, small, 230400, 1, 4},
        {"up-256k-230400-a1", Kind::upload, small, 230400, 1, 1},
        {"down-256k-230400-a16", Kind::download, small, 230400, 1, 16},
        {"down-256k-230400-a4", Kind::download, small, 230400, 1, 4},
        {"down-256k-230400-a1", Kind::download, small, 230400, 1, 1},
    };
    return cases;
}

constexpr int parallel_ports = 8;

struct Targets {
    double ratio;
    double cpu_share = 0.05;
    double growth_per_payload;
};

Targets targets_of(const Case& c) {
    switch (c.kind) {
    case Kind::upload:
        return {c.baud == 230400 ? 0.92 : 0.95, 0.05, 3.0};
    case Kind::parallel:
        return {0.90, 0.05, 3.0};
    case Kind::download:
        return {0.98, 0.05, 2.5};
    case Kind::reference_upload:
    case Kind::reference_download:
    case Kind::turnaround:
        break;
    }
    return {1, 0, 0};
}

bool selected(const Case& c, const std::vector<std::string>& words) {
    for (const auto& w : words) {
        if (w == "all" || w == c.name) return true;
        if (w == "adapter" &&
            (c.adapter_ms > 0 || c.name == "up-256k-230400" || c.name == "down-256k-230400"))
            return true;
        if (c.adapter_ms > 0) continue; // only by name or "adapter"
        if (w == "quick" && c.payload == small && c.kind != Kind::turnaround) return true;
        if (w == "upload" && c.kind == Kind::upload) return true;
        if (w == "parallel" && c.kind == Kind::parallel) return true;
        if (w == "download" && c.kind == Kind::download) return true;
        if (w == "reference" && is_reference(c.kind)) return true;
        if (w == "turnaround" && c.kind == Kind::turnaround) return true;
    }
    return false;
}

double mib(long kib) {
    return double(kib) / 1024.0;
}

struct Row {
    Case c{};
    Figures f;        // the slowest port for the parallel case
    int ports_ok = 1; // parallel: ports that delivered their file
    std::vector<double> port_ratios;
    std::optional<double> machine_busy; // all cores, everybody's work, while the case ran
    std::optional<double> io_stall_ms;  // time in which some task waited for the disk
    long base_kib = 0;                  // the baseline peak; 0 when its runs failed
};

// Misses of a finished row, as words for the verdict column.
std::string misses(const Row& r) {
    if (!has_targets(r.c)) return {};
    const Targets t = targets_of(r.c);
    std::string out;
    const auto add = [&](const std::string& what) { out += (out.empty() ? "" : ",") + what; };
    if (r.f.ratio < t.ratio) add("ratio");
    if (r.f.cpu_share > t.cpu_share) add("cpu");
    if (r.base_kib <= 0)
        add("memory (no baseline)");
    else if (double(r.f.growth_kib) * 1024 > t.growth_per_payload * double(r.c.payload))
        add("memory");
    return out;
}

std::string fixed(const char* format, double value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

void print_line(const std::vector<std::string>& cells) {
    static const int widths[] = {-20, 8, 6, 7, 7, 6, 6, 6, 6, 7, 6, 9, 6, 6};
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const int w = i < std::size(widths) ? widths[i] : 0;
        std::string cell = cells[i];
        const std::size_t width = static_cast<std::size_t>(w < 0 ? -w : w);
        if (cell.size() < width) {
            const std::string pad(width - cell.size(), ' ');
            cell = w < 0 ? cell + pad : pad + cell;
        }
        line += (i == 0 ? "" : i + 1 == cells.size() ? "  " : " ") + cell;
    }
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// Turn-around rows: every port's data blocks together; each port's ratio
// on the line below.
void print_turnaround_row(const Row& r, const std::string& busy, const std::string& io) {
    const Spread s = spread_of(r.f.turnaround_ms);
    const auto [low, high] = std::minmax_element(r.port_ratios.begin(), r.port_ratios.end());
    const std::string verdict = r.f.ok ? "ok" : "FAILED: " + r.f.problem;
    std::printf("%-20s %5d %6zu %7.3f %7.3f %7.3f %7.3f  %.4f-%.4f %6s %6s  %s\n", r.c.name.c_str(),
                r.c.ports, s.count, s.median, s.mean, s.p99, s.max,
                low == r.port_ratios.end() ? 0.0 : *low, high == r.port_ratios.end() ? 0.0 : *high,
                busy.c_str(), io.c_str(), verdict.c_str());
}

void print_turnaround_header() {
    std::printf("%-20s %5s %6s %7s %7s %7s %7s  %-13s %6s %6s  %s\n", "case", "ports", "blocks",
                "med ms", "mean ms", "p99 ms", "max ms", "ratio", "busy %", "io ms", "verdict");
}

void print_row(const Row& r) {
    const Figures& f = r.f;
    std::vector<std::string> cells = {r.c.name,
                                      size_text(r.c.payload),
                                      std::to_string(r.c.baud),
                                      fixed("%.2f", f.wall),
                                      fixed("%.2f", f.phase),
                                      fixed("%.4f", f.ratio)};
    const std::string busy = r.machine_busy ? fixed("%.0f", *r.machine_busy * 100) : "-";
    const std::string io = r.io_stall_ms ? fixed("%.0f", *r.io_stall_ms) : "-";
    if (r.c.kind == Kind::turnaround) return print_turnaround_row(r, busy, io);
    if (is_reference(r.c.kind)) {
        cells.insert(cells.end(), {"-", "-", "-", "-", "-", "-", busy, io});
        cells.push_back(f.ok ? "reference" : "FAILED: " + f.problem);
        print_line(cells);
        return;
    }
    const Targets t = targets_of(r.c);
    const double per_payload = double(f.growth_kib) * 1024 / double(r.c.payload);
    cells.push_back(has_targets(r.c) ? fixed(">=%.2f", t.ratio) : "-");
    cells.push_back(f.blocks_ratio ? fixed("%.4f", *f.blocks_ratio) : "-");
    cells.push_back(fixed("%.2f", f.cpu_share * 100));
    cells.push_back(fixed("%.1f", mib(f.maxrss_kib)));
    cells.push_back(fixed("%.2f", mib(f.growth_kib)));
    cells.push_back(fixed("%.2f", per_payload) +
                    (has_targets(r.c) ? fixed("<=%.1f", t.growth_per_payload) : ""));
    cells.push_back(busy);
    cells.push_back(io);
    const std::string m = f.ok ? misses(r) : "";
    cells.push_back(!f.ok ? "FAILED: " + f.problem : m.empty() ? "ok" : "MISSED " + m);
    print_line(cells);
}

void print_header() {
    print_line({"case", "payload", "baud", "wall s", "phase s", "ratio", "target", "blocks",
                "CPU %", "RSS MiB", "+MiB", "x payload", "busy %", "io ms", "verdict"});
}

// A table's header before its first row: turn-around rows have columns of
// their own.
void print_header_before(const std::vector<Row>& rows, std::size_t i) {
    const bool turn = rows[i].c.kind == Kind::turnaround;
    if (i > 0 && (rows[i - 1].c.kind == Kind::turnaround) == turn) return;
    if (turn)
        print_turnaround_header();
    else
        print_header();
}

Row run_case(const Tools& tools, const std::string& work, const Case& c, long base_kib) {
    Row row;
    row.c = c;
    row.base_kib = base_kib;
    if (is_reference(c.kind)) {
        const PeerRole role =
            c.kind == Kind::reference_upload ? PeerRole::upload : PeerRole::download;
        row.f = run_reference_peer(tools, work, {c.name, role, c.payload, c.baud});
        return row;
    }
    if (c.kind == Kind::download) {
        row.f = run_download(tools, work, {c.name, c.payload, c.baud, c.adapter_ms}, base_kib);
        return row;
    }
    const int ports = c.kind == Kind::parallel ? parallel_ports : c.ports;
    const auto runs =
        run_upload(tools, work, {c.name, c.payload, c.baud, ports, c.adapter_ms}, base_kib);
    // The slowest port decides; a failed port is worst of all.
    const auto worst = std::min_element(runs.begin(), runs.end(), [](const auto& a, const auto& b) {
        if (a.ok != b.ok) return !a.ok;
        return a.ratio < b.ratio;
    });
    row.f = *worst;
    row.f.turnaround_ms.clear(); // every port's, below
    row.ports_ok = static_cast<int>(
        std::count_if(runs.begin(), runs.end(), [](const auto& f) { return f.ok; }));
    for (const auto& f : runs) {
        row.port_ratios.push_back(f.ratio);
        row.f.cpu_share = std::max(row.f.cpu_share, f.cpu_share);
        row.f.growth_kib = std::max(row.f.growth_kib, f.growth_kib);
        row.f.maxrss_kib = std::max(row.f.maxrss_kib, f.maxrss_kib);
        row.f.turnaround_ms.insert(row.f.turnaround_ms.end(), f.turnaround_ms.begin(),
                                   f.turnaround_ms.end());
    }
    // Every data block but the last is followed by the next one (a payload
    // of whole blocks gets one more block of zeros).
    const std::size_t expected = std::size_t(ports) * (c.payload / 1024);
    if (c.kind == Kind::turnaround && row.f.ok && row.f.turnaround_ms.size() != expected) {
        row.f.ok = false;
        row.f.problem = "the boxes timed " + std::to_string(row.f.turnaround_ms.size()) +
                        " turn-arounds, not " + std::to_string(expected);
    }
    return row;
}

// Peak memory of a loader that moved only a tiny file: what the program
// needs without a payload. The peak of a Qt program varies by a few hundred
// KiB from run to run, so the median of three runs is taken; each rate has
// its own, as finding the box's rate runs different code.
long baseline(const Tools& tools, const std::string& work, Kind kind, int baud) {
    const char* what = kind == Kind::download ? "download" : "upload";
    constexpr int runs = 3;
    std::vector<long> peaks;
    for (int i = 0; i < runs; ++i) {
        const Figures f = kind == Kind::download
                              ? run_download(tools, work, {"base-download", tiny, baud}, 0)
                              : run_upload(tools, work, {"base-upload", tiny, baud, 1}, 0).front();
        if (!f.ok) {
            std::printf("baseline %s %d FAILED: %s\n", what, baud, f.problem.c_str());
            return 0;
        }
        peaks.push_back(f.maxrss_kib);
    }
    std::sort(peaks.begin(), peaks.end());
    std::printf("baseline %-8s %s %6d: peak memory %.1f MiB (median of %.1f %.1f %.1f)\n", what,
                size_text(tiny).c_str(), baud, mib(peaks[1]), mib(peaks[0]), mib(peaks[1]),
                mib(peaks[2]));
    std::fflush(stdout);
    return peaks[1];
}

// The machine's state, printed with the figures: other work on a small
// machine shows in them.
void print_machine(const char* when) {
    std::printf("%s: %u cores, load average %s\n", when, std::thread::hardware_concurrency(),
                load_averages().c_str());
    std::fflush(stdout);
}

int usage() {
    std::fprintf(
        stderr,
        "usage: velk2-bench --velk2 PATH --boxsim PATH --download-bench PATH "
        "--work DIR [all|quick|upload|download|parallel|reference|turnaround|adapter|station|"
        "CASE...]\n       "
        "velk2-bench --list\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    Tools tools;
    std::string work;
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool has_value = i + 1 < argc;
        if (a == "--list") {
            for (const auto& c : all_cases()) std::printf("%s\n", c.name.c_str());
            for (const auto& name : station_case_names()) std::printf("%s\n", name.c_str());
            return 0;
        } else if (a == "--velk2" && has_value) {
            tools.velk2 = argv[++i];
        } else if (a == "--boxsim" && has_value) {
            tools.boxsim = argv[++i];
        } else if (a == "--download-bench" && has_value) {
            tools.download_bench = argv[++i];
        } else if (a == "--work" && has_value) {
            work = argv[++i];
        } else if (a.starts_with("-")) {
            return usage();
        } else {
            words.push_back(a);
        }
    }
    if (tools.velk2.empty() || tools.boxsim.empty() || tools.download_bench.empty() || work.empty())
        return usage();
    if (words.empty()) words.push_back("all");
    // The children run in their case folders.
    for (std::string* path : {&tools.velk2, &tools.boxsim, &tools.download_bench})
        *path = std::filesystem::absolute(*path).string();

    std::vector<Case> chosen;
    for (const auto& c : all_cases())
        if (selected(c, words)) chosen.push_back(c);
    const bool station = station_selected(words);
    if (chosen.empty() && !station) {
        std::fprintf(stderr, "velk2-bench: no case matches; --list shows them\n");
        return 2;
    }
    std::filesystem::create_directories(work);
    print_machine("start");
    std::printf("loader: %s\n", tools.velk2.c_str());

    // The baselines the chosen cases need, before any case runs.
    std::map<std::pair<Kind, int>, long> base_kib;
    const auto base_key = [](const Case& c) {
        return std::pair(c.kind == Kind::download ? Kind::download : Kind::upload, c.baud);
    };
    for (const auto& c : chosen)
        if (has_targets(c) && !base_kib.contains(base_key(c)))
            base_kib[base_key(c)] = baseline(tools, work, base_key(c).first, c.baud);

    std::vector<Row> rows;
    for (const auto& c : chosen) {
        const auto before = sample_cpu();
        const auto io_before = io_stall_us();
        rows.push_back(run_case(tools, work, c, has_targets(c) ? base_kib[base_key(c)] : 0));
        rows.back().machine_busy = busy_share(before, sample_cpu());
        if (const auto io_after = io_stall_us(); io_before && io_after)
            rows.back().io_stall_ms = double(*io_after - *io_before) / 1000;
        print_header_before(rows, rows.size() - 1);
        print_row(rows.back());
        if (c.kind == Kind::parallel || c.kind == Kind::turnaround) {
            std::printf("%20s ports ok %d/%zu, ratios:", "", rows.back().ports_ok,
                        rows.back().port_ratios.size());
            for (const double r : rows.back().port_ratios) std::printf(" %.4f", r);
            std::printf("\n");
        }
    }

    const int station_status = station ? run_station_cases(tools, work, words) : 0;

    print_machine("end");
    if (rows.empty()) return station_status;
    std::printf(
        "\nSummary\n"
        "  ratio   payload / phase time, against 1024 payload bytes per 1029 line bytes at "
        "baud/10\n"
        "          bytes/s. Phase: upload \"stream:I\" to \"done\" (data blocks and end "
        "exchange);\n"
        "          download: request for block 1 to arrival of the last block.\n"
        "  blocks  upload only: the same ratio for the data blocks alone (\"stream:I\" to "
        "\"end:1\").\n"
        "  CPU %%   user + system time of the whole loader process / its wall time.\n"
        "  +MiB    peak RSS minus the median peak of three tiny-file runs at the same rate.\n"
        "  busy %%  all cores' busy time while the case ran, everybody's work included.\n"
        "  io ms   time in which some task on the machine waited for the disk during the case.\n"
        "  ref-*   a minimal peer instead of the loader: what the paced simulator allows.\n"
        "  *-aN    through a USB adapter whose latency timer is N ms (velk2-boxsim\n"
        "          --adapter-latency N); no targets: the bare rows are the comparison.\n"
        "  turn-*  the loader's time from the box's ACK (its last byte gone) to the next data\n"
        "          block's first byte at the box, over every port's data blocks; the box's\n"
        "          own monotonic stamps. p99: 99 %% of the blocks took at most this.\n");
    int status = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& r = rows[i];
        print_header_before(rows, i);
        print_row(r);
        if (!r.f.ok ||
            r.ports_ok != static_cast<int>(std::max<std::size_t>(1, r.port_ratios.size())))
            status = 1;
        else if (!misses(r).empty() && status == 0)
            status = 3;
    }
    return status == 1 || station_status == 1 ? 1 : std::max(status, station_status);
}
