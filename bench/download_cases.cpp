#include "download_cases.h"

#include <filesystem>
#include <optional>

#include "line_watch.h"

namespace bench {
namespace {

// The receiver's diagnostics, as it prints them on standard error.
const std::string block_request = "i64 out";   // just before each request goes out
const std::string block_complete = "i64 1029"; // a whole block has arrived
const std::string header_taken = "RECend";

} // namespace

Figures run_download(const Tools& tools, const std::string& work, const DownloadCase& c,
                     long baseline_kib) {
    Figures f;
    f.name = c.name;
    f.payload = c.payload;
    f.baud = c.baud;
    const std::string dir = fresh_dir(work, c.name);
    if (dir.empty()) {
        f.problem = "cannot create the case folder under " + work;
        return f;
    }
    std::filesystem::create_directories(dir + "/box");
    std::filesystem::create_directories(dir + "/saved");
    std::filesystem::create_directories(dir + "/config");
    const std::string payload = payload_bytes(c.payload, 7);
    const std::string source = dir + "/box/bench.dsp";
    const std::string saved = dir + "/saved/bench.dsp";
    const std::string answers = dir + "/answers.txt";
    if (!write_file(source, payload) || !write_file(answers, saved + "\n")) {
        f.problem = "cannot write into " + dir;
        return f;
    }

    std::string error;
    std::vector<std::string> args{
        "--role", "sender", "--file", source, "--baud", std::to_string(c.baud), "--pace", "--once"};
    for (auto& a : adapter_args(c.adapter_ms)) args.push_back(a);
    auto box = start_box(tools, args, dir + "/box.log", error);
    if (!box) {
        f.problem = error;
        return f;
    }
    Launch launch;
    launch.argv = {tools.download_bench, "--port", box->slave};
    launch.env = loader_env(dir + "/config");
    launch.env["VELK2_DIALOG_ANSWERS"] = answers;
    launch.cwd = dir;
    launch.pipe_stderr = true;
    auto loader = Child::start(launch, error);
    if (!loader) {
        f.problem = error;
        return f;
    }
    std::vector<Watched> watched{{&*loader, {}, {}}};
    const double line_time = line_seconds(c.payload / 1024 + 1, c.baud);
    const auto limit =
        Clock::now() + std::chrono::seconds(static_cast<long long>(2 * line_time) + 60);
    const bool ended = watch_until_ended(watched, limit);
    const std::string box_said = finish_box(*box, Clock::now() + std::chrono::seconds(10));
    write_file(dir + "/loader.log", stamped_text(watched[0].lines, loader->started()));
    if (!ended) {
        f.problem = "time limit passed";
        return f;
    }

    const Ending& end = *loader->ending();
    const Clock::time_point t0 = loader->started();
    f.wall = std::chrono::duration<double>(end.at - t0).count();
    f.cpu_share = f.wall > 0 ? end.cpu_seconds / f.wall : 0;
    f.maxrss_kib = end.maxrss_kib;
    f.growth_kib = baseline_kib > 0 ? end.maxrss_kib - baseline_kib : 0;

    // The block phase: from the request for block 1 to the arrival of the
    // last block, so every block's request-to-answer turn is inside it.
    const auto lines = watched[0].lines;
    const auto first_request = first_seen(lines, block_request, t0);
    const auto last_block = last_seen(lines, block_complete, t0);
    const std::size_t blocks = count_seen(lines, block_complete);
    if (first_request && last_block) {
        f.phase = *last_block - *first_request;
        f.ratio = limit_ratio(c.payload, f.phase, c.baud);
    }

    const auto got = read_file(saved);
    const std::size_t expected_blocks = (c.payload + 1023) / 1024;
    if (end.status != 0) {
        f.problem = "velk2-download-bench exit status " + std::to_string(end.status);
    } else if (!first_seen(lines, header_taken, t0)) {
        f.problem = "the header never arrived";
    } else if (blocks != expected_blocks) {
        f.problem =
            std::to_string(blocks) + " of " + std::to_string(expected_blocks) + " blocks arrived";
    } else if (box_said.find("sent bench.dsp") == std::string::npos) {
        f.problem = "the box did not finish its batch";
    } else if (!got) {
        f.problem = "no file saved";
    } else if (*got != payload) {
        f.problem = "the saved file differs from the box's";
    } else {
        f.ok = true;
    }
    return f;
}

} // namespace bench
