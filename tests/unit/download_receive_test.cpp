#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>

#include "download/ymodem_header.h"
#include "scripted_bootloader.h"
#include "shell/number_format.h"
#include "shell/startup.h"
#include "support/harness.h"
#include "upload/crc16.h"

namespace velk2 {
namespace {

namespace fs = std::filesystem;

const std::string wait_text = "wait 30-secundum the STB download";
const std::string mistake_text = "Download mistake file (check)";
const std::string first_request = "\x15\x06"
                                  "C";
const std::string next_request = "\x06";
const std::string end_request = "\x15\x06";

std::string with_crc(std::string head, std::string_view data) {
    const std::uint16_t crc = crc16(data);
    head += data;
    head += static_cast<char>(crc >> 8);
    head += static_cast<char>(crc & 0xFF);
    return head;
}

std::string header_block(const std::string& name, const std::string& size_text,
                         std::string start = std::string("\x01\x00\xFF", 3)) {
    std::string field = name + '\0' + size_text;
    field.resize(128, '\0');
    return with_crc(std::move(start), field);
}

// Every byte value, zero bytes and YMODEM control bytes included.
std::string file_bytes(std::size_t n) {
    std::string data(n, '\0');
    std::uint32_t x = 12345;
    for (auto& c : data) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 16);
    }
    return data;
}

// The box's YMODEM sender as the PC meets it: the header on a "C" at the
// box's own rate, one 1029-byte block per request, paced at the line rate.
struct Box {
    std::string header;
    std::string data;
    std::string only_baud; // "": answers at both rates
    std::int64_t answer_from_us = 0;
    int corrupt_block = 0; // 1-based; its check value is wrong
    int stop_after = -1;   // blocks sent before the box falls silent
    int blocks_sent = 0;
    std::int64_t header_at_us = -1;

    void serve(HeadlessLine& line) {
        line.on_write = [this](HeadlessLine& l, const std::string& w) { answer(l, w); };
    }

    void answer(HeadlessLine& l, const std::string& w) {
        if (!only_baud.empty() && l.baud != only_baud) return;
        const std::int64_t gap_us = 10'000'000 / std::stoi(l.baud);
        if (w == "C" && header_at_us < 0) {
            if (l.now_us() < answer_from_us) return;
            header_at_us = l.now_us();
            l.send(header, 1000, gap_us);
        } else if (w == first_request || w == next_request) {
            const int count = int((data.size() + 1023) / 1024);
            if (blocks_sent == count || blocks_sent == stop_after) return;
            const int k = ++blocks_sent;
            std::string payload = data.substr(std::size_t(k - 1) * 1024, 1024);
            payload.resize(1024, '\x1A');
            std::string record = with_crc({'\x02', char(k), char(255 - k)}, payload);
            if (k == corrupt_block) record[1027] ^= 0x5A;
            l.send(record, 1000, gap_us);
        } else if (w == end_request) {
            l.send("\x04", 1000);
        } else if (w == "C") {
            l.send(header_block("", ""), 1000, gap_us); // end of the batch
        }
    }
};

struct Download : test::Harness {
    Box box;
    std::int64_t started_us = -1; // the wait message was closed

    Download() {
        platform.on_message = [this](const std::string& text) {
            if (text == wait_text) started_us = platform.now_us();
        };
        box.serve(line);
    }
    void offer(const std::string& name, const std::string& data) {
        box.data = data;
        box.header = header_block(name, std::to_string(data.size()));
    }
    void click() { ctx.window.get("cg1").on_click(); }

    // The download's own stage lines, without the field texts and countdown.
    std::vector<std::string> stages() const {
        std::vector<std::string> out;
        for (const auto& l : platform.diag_lines)
            if (!l.starts_with("\t\t") && !l.starts_with("tmrR3")) out.push_back(l);
        return out;
    }
    bool staged(const std::string& line) const {
        const auto s = stages();
        return std::find(s.begin(), s.end(), line) != s.end();
    }
    std::vector<std::string> requests_after_header() const {
        std::vector<std::string> out;
        for (const auto& w : line.writes)
            if (box.header_at_us >= 0 && w.at_us > box.header_at_us) out.push_back(w.bytes);
        return out;
    }
    std::int64_t elapsed_us() const { return platform.now_us() - started_us; }

    void expect_idle() {
        EXPECT_EQ(ctx.transfer_state, 0);
        EXPECT_TRUE(ctx.window.get("cg1").enabled);
        EXPECT_FALSE(line.open);
        EXPECT_EQ(field(28, 11, 13), "COM1 (CLOSED)");
        EXPECT_EQ(field(28, 12, 20), std::string(20, ' '));
        EXPECT_EQ(stages().back(), "REC exit");
    }
};

struct TransferCase {
    const char* label;
    std::size_t size;
    int corrupt_block;
};

TEST(DownloadReceive, TakesEveryBlockAndSavesExactlyTheAnnouncedBytes) {
    const TransferCase cases[] = {
        {"2500 bytes in 3 blocks", 2500, 0}, {"empty file, no block", 0, 0},
        {"whole blocks", 3072, 0},           {"largest accepted size", download_max_size, 0},
        {"corrupt block 6 of 9", 9000, 6},   {"corrupt last block", 2500, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Download d;
        d.offer("box.dsp", file_bytes(c.size));
        d.box.corrupt_block = c.corrupt_block;
        const std::string target = d.dir / "saved.dsp";
        d.platform.file_answers.push_back(target);
        d.click();

        const std::size_t blocks = (c.size + 1023) / 1024;
        std::vector<std::string> requests;
        for (std::size_t k = 0; k < blocks; ++k)
            requests.push_back(k ? next_request : first_request);
        requests.push_back(end_request);
        requests.push_back("C");
        EXPECT_EQ(d.requests_after_header(), requests);

        std::vector<std::string> stages = {"RECstart", "LOOP end 30 133", "RECend",
                                           "box.dsp " + std::to_string(c.size) + " " +
                                               std::to_string(blocks)};
        for (std::size_t k = 0; k < blocks; ++k) {
            stages.push_back("i64 out");
            stages.push_back("i64 1029");
        }
        for (const char* s : {"endfej1 out", "endfej2 out", "Check", "REC exit"})
            stages.push_back(s);
        EXPECT_EQ(d.stages(), stages);

        if (c.corrupt_block) {
            EXPECT_EQ(d.platform.messages.back(), std::make_pair(mistake_text, std::string()));
            EXPECT_TRUE(d.platform.file_requests.empty());
            EXPECT_FALSE(test::exists(target));
        } else {
            EXPECT_EQ(d.platform.messages.size(), 1u); // the wait message only
            ASSERT_TRUE(test::exists(target));
            EXPECT_TRUE(test::read_file(target) == d.box.data);
        }
        EXPECT_EQ(d.field(91, 12, 9).substr(0, format_length(std::int64_t(c.size)).size()),
                  format_length(std::int64_t(c.size)));
        if (blocks) {
            EXPECT_EQ(d.field(62, 12, 7).find(std::to_string(blocks * 1024)), 0u);
        }
        d.expect_idle();
    }
}

struct RefusalCase {
    const char* label;
    std::string header;
    std::string stage;
};

TEST(DownloadReceive, RefusedHeaderEndsBeforeAnyBlockIsRequested) {
    std::string bad_crc = header_block("a.dsp", "2500");
    bad_crc[132] ^= 0x01;
    char crc_line[32];
    const std::uint16_t crc = crc16(std::string_view(bad_crc).substr(3, 128));
    std::snprintf(crc_line, sizeof crc_line, "bad crc %04X %02X%02X", crc,
                  static_cast<unsigned char>(bad_crc[132]),
                  static_cast<unsigned char>(bad_crc[131]));

    const RefusalCase cases[] = {
        {"1K header", header_block("a.dsp", "2500", std::string("\x02\x00\xFF", 3)),
         "bad 1,2,3 FF0002 FF0001"},
        {"wrong check value", bad_crc, crc_line},
        {"one block too many", header_block("a.dsp", "2093057"), "bad size 2093057"},
        {"wraps to 1024 in 32 bits", header_block("a.dsp", "4294968320"), "bad size 4294968320"},
        {"wraps to 1 in 64 bits", header_block("a.dsp", "18446744073709551617"),
         "bad size 18446744073709551617"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Download d;
        d.box.header = c.header;
        d.box.data = file_bytes(2500);
        d.click();
        EXPECT_TRUE(d.staged(c.stage));
        EXPECT_FALSE(d.staged("i64 out"));
        EXPECT_TRUE(d.requests_after_header().empty());
        EXPECT_TRUE(d.platform.file_requests.empty());
        EXPECT_EQ(d.platform.messages.size(), 1u);
        d.expect_idle();
    }
}

TEST(DownloadReceive, UnsafeHeaderNamesAreProposedAsPlainNamesInTheLastFolder) {
    const std::pair<std::string, std::string> cases[] = {
        {"../../x", "x"},          {"/etc/passwd", "passwd"},
        {"C:\\a\\b.dsp", "b.dsp"}, {"a\x01z\x1b[2J.dsp", "a_z_[2J.dsp"},
        {"..", "download"},
    };
    for (const auto& [name, proposed] : cases) {
        SCOPED_TRACE(name);
        Download d;
        d.platform.settings[{"LAST", "DOWN"}] = "/srv/boxes/old.DSP";
        d.offer(name, file_bytes(100));
        d.click(); // the dialog is cancelled
        ASSERT_EQ(d.platform.file_requests.size(), 1u);
        const FileDialogRequest& r = d.platform.file_requests[0];
        EXPECT_EQ(r.title, "Select DSP filename");
        EXPECT_EQ(r.pattern, "*.DSP");
        EXPECT_EQ(r.folder, "/srv/boxes/");
        EXPECT_EQ(r.default_name, proposed);
        EXPECT_EQ(d.platform.read_setting("LAST", "DOWN"), "/srv/boxes/old.DSP");
        d.expect_idle();
    }
}

struct NameCase {
    std::string answer;  // "@" stands for the test directory
    std::string written; // "" when nothing may be written
    std::string down;    // "DOWN" afterwards
    std::string dsp;     // "DSP" afterwards
};

TEST(DownloadReceive, ChosenNameGetsDspAddedUnlessItEndsInDsp) {
    const NameCase cases[] = {
        {"@/x.bin", "@/x.bin.DSP", "@/x.bin.DSP", "@/x.bin"},
        {"@/x.dsp", "@/x.dsp", "@/x.dsp", "@/x.dsp"},
        {"@/Y.DsP", "@/Y.DsP", "@/Y.DsP", "@/Y.DsP"},
        {"abcd.bin", "abcd.bin.DSP", "abcd.bin.DSP", "abcd.bin"},
        {"abc.bin", "", "/old/a.DSP", "abc.bin"}, // 7 characters: nothing written
        {"", "", "/old/a.DSP", ""},               // cancelled
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        Download d;
        const auto in_dir = [&d](std::string s) {
            if (s.starts_with("@/")) s = d.dir / s.substr(2);
            return s;
        };
        d.platform.settings[{"LAST", "DOWN"}] = "/old/a.DSP";
        d.offer("box.dsp", file_bytes(1500));
        d.platform.file_answers.push_back(in_dir(c.answer));
        d.click();
        std::vector<std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(d.dir.path()))
            if (e.path().filename() != "dcb1") files.push_back(path_text(e.path()));
        if (c.written.empty()) {
            EXPECT_TRUE(files.empty());
        } else {
            const std::string written = in_dir(c.written);
            EXPECT_EQ(files,
                      std::vector<std::string>{is_full_path(written) ? written : d.dir / written});
            EXPECT_TRUE(test::read_file(in_dir(c.written)) == d.box.data);
        }
        EXPECT_EQ(d.platform.read_setting("LAST", "DOWN"), in_dir(c.down));
        EXPECT_EQ(d.platform.read_setting("LAST", "DSP"), in_dir(c.dsp));
    }
}

TEST(DownloadReceive, SilentBoxEndsTheWaitAfterThirtySeconds) {
    Download d;
    d.line.on_write = nullptr;
    d.click();
    EXPECT_GE(d.elapsed_us(), 30'000'000);
    EXPECT_LT(d.elapsed_us(), 30'200'000);

    // "C" every 250 ms, the rate switching each time, 230400 first.
    const auto& w = d.line.writes;
    ASSERT_GT(w.size(), 100u);
    EXPECT_EQ(w[0].at_us, d.started_us);
    for (std::size_t i = 0; i < w.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(w[i].bytes, "C");
        EXPECT_EQ(w[i].baud, i % 2 ? "115200" : "230400");
        if (i) {
            EXPECT_GE(w[i].at_us - w[i - 1].at_us, 250'000);
            EXPECT_LE(w[i].at_us - w[i - 1].at_us, 385'000);
        }
    }
    // tmrR1 or the countdown, whichever comes first, ends it with nothing read.
    const auto stages = d.stages();
    ASSERT_EQ(stages.size(), 4u);
    EXPECT_TRUE(stages[1].starts_with("LOOP end ") && stages[1].ends_with(" 0"));
    EXPECT_TRUE(stages[2] == "if idob <1" || stages[2].starts_with("if <> "));
    EXPECT_TRUE(d.platform.file_requests.empty());
    d.expect_idle();
}

TEST(DownloadReceive, BoxAt115200OnlyIsReachedByTheFirstReopening) {
    Download d;
    d.box.only_baud = "115200";
    d.offer("box.dsp", file_bytes(5000));
    d.platform.file_answers.push_back(d.dir / "box.dsp");
    d.click();

    const auto& w = d.line.writes;
    const auto first = std::find_if(
        w.begin(), w.end(), [](const HeadlessLine::Write& x) { return x.baud == "115200"; });
    ASSERT_NE(first, w.end());
    EXPECT_GE(first->at_us - d.started_us, 250'000);
    EXPECT_LE(first->at_us - d.started_us, 385'000);
    // The port stays at the rate that brought the header.
    for (auto it = first; it != w.end(); ++it) EXPECT_EQ(it->baud, "115200");
    EXPECT_TRUE(test::read_file(d.dir / "box.dsp") == d.box.data);
    d.expect_idle();
}

TEST(DownloadReceive, FailedOpeningEndsTheWait) {
    for (const int good_opens : {0, 1}) {
        SCOPED_TRACE(good_opens);
        Download d;
        d.line.refuse_open = good_opens == 0;
        d.line.on_open = [](HeadlessLine& l) { l.refuse_open = true; };
        d.click();
        EXPECT_GE(d.elapsed_us(), 250'000);
        EXPECT_LE(d.elapsed_us(), 400'000);
        EXPECT_EQ(d.line.writes.size(), std::size_t(good_opens));
        EXPECT_TRUE(d.staged("if <> 30 0"));
        d.expect_idle();
    }
}

TEST(DownloadReceive, MissingBlockEndsTheDownloadAfterFiveToSixSeconds) {
    // The second case crosses midnight during the block wait; a wait on the
    // seconds-of-day clock would never end there (the test would time out).
    for (const double start_of_day : {12 * 3600.0, 86400.0 - 1.5}) {
        SCOPED_TRACE(start_of_day);
        Download d;
        d.platform.start_of_day_s = start_of_day;
        d.offer("box.dsp", file_bytes(5 * 1024));
        d.box.stop_after = 2;
        d.click();

        const auto requests = d.requests_after_header();
        EXPECT_EQ(requests, (std::vector<std::string>{first_request, next_request, next_request}));
        // The read that is running when the deadline passes still takes its
        // full time-out for 1029 bytes.
        const std::int64_t waited = d.platform.now_us() - d.line.writes.back().at_us;
        EXPECT_GE(waited, 5'000'000);
        EXPECT_LE(waited, 6'000'000 + 1'030'000);
        ASSERT_EQ(d.platform.messages.size(), 2u);
        EXPECT_EQ(d.platform.messages[1].first,
                  "The download stopped: block 3 of 5 did not come. Nothing was saved.");
        EXPECT_TRUE(d.platform.file_requests.empty());
        d.expect_idle();
    }
}

TEST(DownloadReceive, FailedWriteLeavesWhatWasThereBefore) {
    Download d;
    fs::create_directory(d.dir / "saved.DSP");
    test::write_file(d.dir / "saved.DSP/keep", "EARLIER");
    d.offer("box.dsp", file_bytes(2000));
    d.platform.file_answers.push_back(d.dir / "saved.DSP");
    d.click();
    EXPECT_TRUE(fs::is_directory(d.dir / "saved.DSP"));
    EXPECT_EQ(test::read_file(d.dir / "saved.DSP/keep"), "EARLIER");
    for (const auto& e : fs::directory_iterator(d.dir.path()))
        EXPECT_EQ(e.path().filename().string().find(".part"), std::string::npos);
    const auto s = d.stages();
    EXPECT_TRUE(std::any_of(s.begin(), s.end(),
                            [](const std::string& l) { return l.starts_with("not written "); }));
    // The technician is told, not only the diagnostic output.
    ASSERT_EQ(d.platform.messages.size(), 2u);
    EXPECT_TRUE(d.platform.messages[1].first.starts_with("The file " + d.dir / "saved.DSP" +
                                                         " could not be written: "));
    d.expect_idle();
}

TEST(DownloadReceive, NoSecondDownloadStartsInsideARunningTransfer) {
    Download d;
    d.offer("box.dsp", file_bytes(3000));
    d.box.answer_from_us = 600'000;
    d.platform.file_answers.push_back(d.dir / "box.dsp");
    // A click that reaches the handler while the first download waits.
    d.platform.at(100, [&d] { d.click(); });
    d.click();
    const auto stages = d.stages();
    EXPECT_EQ(std::count(stages.begin(), stages.end(), "RECstart"), 1);
    EXPECT_TRUE(test::read_file(d.dir / "box.dsp") == d.box.data);

    Download u;
    u.ctx.exchange = Exchange::upload;
    u.click();
    EXPECT_TRUE(u.platform.messages.empty());
    EXPECT_TRUE(u.line.writes.empty());
}

TEST(DownloadReceive, CloseDuringADownloadTakesEffectAfterIt) {
    // The whole program, so that the main loop sees the close request.
    test::TempDir dir;
    HeadlessPlatform platform;
    Context ctx{platform};
    Box box;
    box.serve(platform.add_line("COM1"));
    box.data = file_bytes(4000);
    box.header = header_block("box.dsp", "4000");
    box.answer_from_us = 2'000'000;
    fs::create_directories(dir / "bin");
    ctx.process.program_path = dir / "bin/VELK_(COM1).exe";
    ctx.process.current_dir = dir.path();
    test::write_file(ctx.process.program_path, "#!program bytes\n");
    platform.file_answers.push_back(dir / "box.dsp");
    platform.at(100, [&ctx] { ctx.window.get("cg1").on_click(); });
    platform.at(1000, [&ctx] { // the close box, as the window reports it
        ctx.window.on_close();
        ctx.window.exists = false;
    });
    EXPECT_EQ(run_program(ctx), 0);

    EXPECT_TRUE(test::read_file(dir / "box.dsp") == box.data);
    const auto& l = platform.diag_lines;
    const auto at = [&l](const char* s) { return std::find(l.begin(), l.end(), s) - l.begin(); };
    EXPECT_LT(at("close 1"), at("RECend"));
    EXPECT_LT(at("RECend"), at("REC exit"));
    EXPECT_LT(at("REC exit"), at("exit"));
    EXPECT_LT(at("exit"), std::ptrdiff_t(l.size()));
}

struct EndSignalCase {
    const char* label;
    bool upload; // the automatic upload of a 100-block file, else a 50-block download
    int signal;
    int at_ms;
    int box_stops_after = -1; // blocks the download's box sends before it falls silent
};

// A signal in the middle of a transfer ends the whole run at once: the port
// closed, not one byte more on the line, no file, no message box, and the
// signal in the exit status.
TEST(EndSignal, EndsTheRunWithThePortClosedAndNoFile) {
    const EndSignalCase cases[] = {
        {"SIGTERM in the upload's data phase", true, SIGTERM, 500},
        {"SIGINT in the download's block phase, where no events run", false, SIGINT, 1000},
#ifdef SIGHUP
        {"SIGHUP while the download waits 5 s for a block", false, SIGHUP, 2000, 10},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        test::TempDir dir;
        HeadlessPlatform platform;
        Context ctx{platform};
        HeadlessLine& line = platform.add_line("COM1");
        ctx.process.program_path = dir / "VELK_(COM1).exe";
        ctx.process.current_dir = dir.path();
        const std::size_t blocks = c.upload ? 100 : 50;
        test::BootloaderScript bootloader;
        bootloader.hello = {{"230400", 100, "C"}};
        Box box;
        if (c.upload) {
            test::write_file(dir / "fw.dsp", file_bytes(blocks * 1024));
            ctx.process.args = {"(COM1){" + (dir / "fw.dsp") + "}"};
            test::play_bootloader(line, bootloader);
        } else {
            box.data = file_bytes(blocks * 1024);
            box.header = header_block("box.dsp", std::to_string(box.data.size()));
            box.stop_after = c.box_stops_after;
            box.serve(line);
            platform.file_answers.push_back(dir / "box.dsp");
            platform.at(100, [&ctx] { ctx.window.get("cg1").on_click(); });
        }
        platform.signal_at(c.at_ms, c.signal);

        EXPECT_EQ(run_program(ctx), 128 + c.signal);
        EXPECT_LE(platform.now_us(), (c.at_ms + 1100) * 1000); // within one read's time-out
        EXPECT_FALSE(line.open);
        std::size_t blocks_out = 0;
        for (const auto& w : line.writes)
            blocks_out += w.bytes.size() == 1029 || w.bytes == next_request;
        ASSERT_GT(blocks_out, 0u); // the signal came inside the phase
        EXPECT_LT(blocks_out, blocks - 1);
        EXPECT_LT(line.writes.back().at_us, c.at_ms * 1000);
        EXPECT_FALSE(test::exists(dir / "box.dsp"));
        for (const auto& m : platform.messages) EXPECT_EQ(m.first, wait_text);
        EXPECT_EQ(platform.diag_lines.back(), "ended by " + signal_name(c.signal));
    }
}

} // namespace
} // namespace velk2
