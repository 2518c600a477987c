#include "station/worker_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>

#include "hex_text.h"
#include "scripted_bootloader.h"
#include "station/sha256.h"
#include "station/worker_lines.h"
#include "support/harness.h"

namespace velk2 {
namespace {

const std::string garbled_c("\x1E\xFE", 2);
enum class AtBlock { nothing, stop, vanish }; // what happens when the box gets data block 2

// One worker on COM1 of the headless platform, fed 2500 bytes of a DSP file.
struct WorkerCase {
    const char* name;
    std::vector<test::Hello> hello; // what the box says after each open
    std::vector<std::string> lines; // "X*": a line that starts with X
    int status;
    std::string input_cut = "";         // "short": 10 bytes missing; "hash": another digest
    std::vector<std::string> more = {}; // arguments after the required ones
    AtBlock at_block = AtBlock::nothing;
    int stop_at_ms = -1;
    bool refuse_open = false;
    int quiet_min_ms = -1, quiet_max_ms = -1; // from the last `quiet` to the end
};

TEST(WorkerRun, LinesStatusAndPort) {
    const std::vector<test::Hello> asks_230400{{"230400", 100, "C"}};
    const std::vector<test::Hello> asks_115200{
        {"230400", 100, garbled_c}, {"230400", 1100, garbled_c}, {"115200", 100, "C"}};
    const std::vector<std::string> flash_230400{
        "flashing 0 2500 230400", "flashing 1024 2500 230400", "flashing 2048 2500 230400",
        "flashing 2500 2500 230400"};
    const auto then = [](std::vector<std::string> a, const std::vector<std::string>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const std::vector<std::string> start{"ready 2500 *", "waiting COM1"};
    const WorkerCase cases[] = {
        // clang-format off
        {"data cut short", asks_230400, {"error upload data ended after 2490 of 2500 bytes"}, 1,
         "short"},
        {"data that do not match the hash", asks_230400,
         {"error upload data do not match their SHA-256 *"}, 1, "hash"},
        {"a port that does not open says why", asks_230400,
         {"ready 2500 *", "error COM1 COM1: *"}, 1, "", {}, AtBlock::nothing, -1, true},
        {"box at 230400; the quiet phase waits for 2 s of silence after its last C",
         asks_230400, then(then(start, flash_230400), {"result done", "quiet"}), 0, "", {},
         AtBlock::nothing, -1, false, 2100, 2250},
        {"box at 115200", asks_115200,
         then(start, {"flashing 0 2500 115200", "flashing 1024 2500 115200",
                      "flashing 2048 2500 115200", "flashing 2500 2500 115200", "result done",
                      "quiet"}), 0},
        {"quiet first: the C heard meanwhile is not taken", asks_230400,
         then(then({"ready 2500 *", "quiet", "waiting COM1"}, flash_230400),
              {"result done", "quiet"}), 0, "", {"--quiet-first", "1"}},
        {"stop while waiting", {}, start, 1, "", {}, AtBlock::nothing, 30000},
        {"stop while flashing", asks_230400,
         then(start, {"flashing 0 2500 230400", "flashing 1024 2500 230400", "result stopped"}),
         1, "", {}, AtBlock::stop},
        {"box gone mid-flash", asks_230400,
         then(start, {"flashing 0 2500 230400", "flashing 1024 2500 230400",
                      "result failed REASON", "quiet"}), 1, "", {}, AtBlock::vanish},
        // clang-format on
    };
    for (const WorkerCase& c : cases) {
        SCOPED_TRACE(c.name);
        test::Harness h;
        test::BootloaderScript box;
        box.hello = c.hello;
        test::play_bootloader(h.line, box);
        h.line.refuse_open = c.refuse_open;
        const auto boxes_write = h.line.on_write;
        h.line.on_write = [&, blocks = 0](HeadlessLine& l, const std::string& w) mutable {
            if (w.size() == 1029 && ++blocks == 2) {
                if (c.at_block == AtBlock::stop) h.platform.signal_at(l.now_us() / 1000, SIGTERM);
                if (c.at_block == AtBlock::vanish) l.lost = true;
            }
            boxes_write(l, w);
        };
        // A worker listens for as long as it is armed: a case whose box never
        // asks ends by this stop, never by a hang.
        h.platform.signal_at(c.stop_at_ms >= 0 ? c.stop_at_ms : 60000, SIGTERM);

        const std::string data = test::pattern_bytes(2500);
        std::string input = c.input_cut == "short" ? data.substr(0, 2490) : data;
        std::vector<std::string> args{
            "--worker", "COM1", "--name",   "/data/fw.dsp",
            "--size",   "2500", "--sha256", sha256_hex(c.input_cut == "hash" ? data + "x" : data),
            "--quiet",  "2"};
        args.insert(args.end(), c.more.begin(), c.more.end());
        std::vector<std::string> lines;
        std::int64_t quiet_said_us = -1;
        WorkerIo io;
        io.read_input = [&input](std::size_t n) {
            std::string piece = input.substr(0, std::min<std::size_t>(n, 1000));
            input.erase(0, piece.size());
            return piece;
        };
        io.write_line = [&](const std::string& line) {
            ASSERT_TRUE(parse_worker_line(line)) << line;
            if (line == "quiet") quiet_said_us = h.platform.now_us();
            lines.push_back(line);
        };
        h.platform.on_message = [&io](const std::string& text) { io.last_message = text; };

        EXPECT_EQ(run_worker(h.ctx, args, io), c.status);
        EXPECT_FALSE(h.line.open) << "every way out closes the port";
        ASSERT_EQ(lines.size(), c.lines.size()) << testing::PrintToString(lines);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            std::string got = lines[i];
            const auto event = parse_worker_line(got);
            if (const auto* r = std::get_if<WorkerResult>(&*event))
                got = std::string("result ") + outcome_name(r->outcome) +
                      (r->reason.empty() ? "" : " REASON");
            const std::string& want = c.lines[i];
            if (want.ends_with('*'))
                EXPECT_TRUE(got.starts_with(want.substr(0, want.size() - 1))) << got;
            else
                EXPECT_EQ(got, want);
        }
        if (c.quiet_min_ms >= 0) {
            const std::int64_t quiet_ms = (h.platform.now_us() - quiet_said_us) / 1000;
            EXPECT_GE(quiet_ms, c.quiet_min_ms);
            EXPECT_LE(quiet_ms, c.quiet_max_ms);
        }
        if (c.status == 0) {
            // Every packet of the upload went out at the rate the box asked at.
            const std::string& first = *std::find_if(
                lines.begin(), lines.end(), [](auto& l) { return l.starts_with("flashing "); });
            const std::string rate = first.substr(first.rfind(' ') + 1);
            for (const auto& w : h.line.writes) {
                if (w.bytes.size() == 1029) {
                    EXPECT_EQ(w.baud, rate);
                }
            }
            EXPECT_NE(h.line.written().find(data.substr(0, 1024)), std::string::npos);
        }
    }
}

TEST(WorkerRun, OptionsRefused) {
    const std::string hash(64, 'a');
    const struct {
        std::vector<std::string> args;
        std::string problem; // "" when the options are good
    } cases[] = {
        {{"--worker", "COM1", "--name", "a.dsp", "--size", "9", "--sha256", hash}, ""},
        {{"--worker", "COM1", "--name", "a.dsp", "--size", "9", "--sha256", hash, "--quiet", "0.25",
          "--quiet-first", "3"},
         ""},
        {{"--worker"}, "--worker needs a port"},
        {{"--worker", "COM1", "--size", "9", "--sha256", hash}, "--name is missing"},
        {{"--worker", "COM1", "--name", "a.dsp", "--size", "-9", "--sha256", hash},
         "--size is no byte count: -9"},
        {{"--worker", "COM1", "--name", "a.dsp", "--size", "9", "--sha256", "abc"},
         "--sha256 is no SHA-256 digest: abc"},
        {{"--worker", "COM1", "--name", "a.dsp", "--size", "9", "--sha256", hash, "--quiet", "1."},
         "--quiet is no number of seconds: 1."},
        {{"--worker", "COM1", "--name", "a.dsp", "--size", "9", "--sha256", hash, "--quiet"},
         "--quiet needs a value"},
        {{"--worker", "COM1", "--name", "a.dsp", "--size", "9", "--sha256", hash, "--count", "2"},
         "unknown worker option: --count"},
    };
    for (const auto& c : cases) {
        const auto parsed = parse_worker_options(c.args);
        const auto* problem = std::get_if<std::string>(&parsed);
        EXPECT_EQ(problem ? *problem : "", c.problem) << testing::PrintToString(c.args);
    }
    const auto quiet = std::get<WorkerOptions>(parse_worker_options(cases[1].args));
    EXPECT_EQ(quiet.quiet_ms, 250);
    EXPECT_EQ(quiet.quiet_first_ms, 3000);
}

} // namespace
} // namespace velk2
