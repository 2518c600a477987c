#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <stdexcept>

#include "download/ymodem_header.h"
#include "hex_text.h"
#include "shell/startup.h"
#include "support/harness.h"
#include "upload/crc16.h"

namespace velk2 {
namespace {

namespace fs = std::filesystem;
using test::pattern_bytes;

const std::string wait_text = "wait 30-secundum the STB download";
const std::string first_request("\x15\x06"
                                "C");
const std::string next_request("\x06");
const std::string end_request("\x15\x06");

std::string with_crc(std::string head, std::string_view data) {
    const std::uint16_t crc = crc16(data);
    return head.append(data) + char(crc >> 8) + char(crc & 0xFF);
}

std::string header_block(const std::string& name, const std::string& size_text,
                         std::string start = std::string("\x01\x00\xFF", 3)) {
    std::string field = name + '\0' + size_text;
    field.resize(128, '\0');
    return with_crc(std::move(start), field);
}

// The box's YMODEM sender as the PC meets it: the header on a "C" at the
// box's own rate, one 1029-byte block per request, paced at the line rate.
struct Box {
    std::string header, data;
    std::int64_t answer_from_us = 0;
    int corrupt_block = 0; // 1-based; its check value is wrong
    int stop_after = -1;   // blocks sent before the box falls silent
    int blocks_sent = 0;
    std::int64_t header_at_us = -1;
    // The blocks in the order the box sends them (empty: 1, 2, ... in turn),
    // and the complement byte it puts on a block instead of 255 - number.
    std::vector<int> order;
    std::map<int, char> complement;
    std::map<int, std::int64_t> late_us; // by send (1-based): sent this much later

    void serve(HeadlessLine& line) {
        line.on_write = [this](HeadlessLine& l, const std::string& w) { answer(l, w); };
    }
    void offer(const std::string& name, std::size_t size) {
        data = pattern_bytes(size);
        header = header_block(name, std::to_string(size));
    }
    void answer(HeadlessLine& l, const std::string& w) {
        const std::int64_t gap_us = 10'000'000 / std::stoi(l.baud);
        if (w == "C" && header_at_us < 0) {
            if (l.now_us() < answer_from_us) return;
            header_at_us = l.now_us();
            l.send(header, 1000, gap_us);
        } else if (w == first_request || w == next_request) {
            if (order.empty())
                for (int k = 1; k <= int((data.size() + 1023) / 1024); ++k) order.push_back(k);
            if (blocks_sent == int(order.size()) || blocks_sent == stop_after) return;
            const int k = order[std::size_t(blocks_sent++)];
            std::string payload = data.substr(std::size_t(k - 1) * 1024, 1024);
            payload.resize(1024, '\x1A');
            const char number = char(k), rest = complement.count(k) ? complement[k] : char(255 - k);
            std::string record = with_crc({'\x02', number, rest}, payload);
            if (k == corrupt_block) record[1027] ^= 0x5A;
            l.send(record, 1000 + late_us[blocks_sent], gap_us);
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
    void click() { ctx.window.get("cg1").on_click(); }

    // The download's own stage lines, without the field texts and countdown.
    std::vector<std::string> stages() const {
        std::vector<std::string> out;
        for (const auto& l : platform.diag_lines)
            if (!l.starts_with("\t\t") && !l.starts_with("tmrR3")) out.push_back(l);
        return out;
    }
    bool staged(const std::string& prefix) const {
        const auto s = stages();
        return std::any_of(s.begin(), s.end(),
                           [&](const auto& l) { return l.starts_with(prefix); });
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
        EXPECT_EQ(ctx.exchange, Exchange::none);
        EXPECT_TRUE(ctx.window.get("cg1").enabled);
        EXPECT_FALSE(line.open);
        EXPECT_EQ(stages().back(), "REC exit");
    }
};

// Every block of an accepted header is asked for, checked and saved to the
// byte; a refused header ends the download before any block is asked for.
TEST(DownloadReceive, TakesEveryBlockAndSavesExactlyTheAnnouncedBytes) {
    std::string bad_crc = header_block("box.dsp", "2500");
    bad_crc[132] ^= 0x01;
    const struct {
        std::size_t size;
        const char* length; // as the panel shows it
        int corrupt_block = 0;
        std::string header = {};  // instead of the one that offers the file
        std::string refusal = {}; // the stage line that refuses it
        std::string message = {}; // the box that says why nothing came
    } cases[] = {
        {2500, "2-500"},
        {0, "0"},
        {3072, "3-072"},
        {download_max_size, "2-093-056"},
        {9000, "9-000", 6},
        {2500, "2-500", 3},
        {2500, "0", 0, header_block("a.dsp", "2500", std::string("\x02\x00\xFF", 3)),
         "bad 1,2,3 FF0002 FF0001",
         "The box's first block is no file header: it starts 02 00 FF, a header starts 01 00 FF. "
         "Nothing was downloaded."},
        {2500, "0", 0, bad_crc, "bad crc 9501 0095",
         "The box's file header failed its check (CRC 9501 computed, 0095 received). Nothing was "
         "downloaded."},
        {2500, "0", 0, header_block("a.dsp", "2093057"), "bad size 2093057", // a block too many
         "The box announces a file of 2093057 bytes, more than a download takes (2093056 bytes). "
         "Nothing was downloaded."},
        {2500, "0", 0, header_block("a.dsp", "4294968320"), "bad size 4294968320", // 32-bit wrap
         "The box announces a file of 4294968320 bytes, more than a download takes (2093056 "
         "bytes). Nothing was downloaded."},
        {2500, "0", 0, header_block("a.dsp", "18446744073709551617"),
         "bad size 18446744073709551617",
         "The box announces a file of 18446744073709551617 bytes, more than a download takes "
         "(2093056 bytes). Nothing was downloaded."},
        {2500, "0", 0, header_block("a.dsp", "x2500"), "bad size ",
         "The box's file header gives no file size. Nothing was downloaded."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.size) + " bytes, corrupt block " +
                     std::to_string(c.corrupt_block) + " " + c.refusal);
        Download d;
        d.box.offer("box.dsp", c.size);
        d.box.corrupt_block = c.corrupt_block;
        if (!c.header.empty()) d.box.header = c.header;
        const std::string target = d.dir / "saved.dsp";
        d.platform.file_answers.push_back(target);
        d.click();

        const bool accepted = c.refusal.empty(), saved = accepted && !c.corrupt_block;
        const std::size_t blocks = accepted ? (c.size + 1023) / 1024 : 0;
        std::vector<std::string> requests(blocks, next_request);
        if (blocks) requests[0] = first_request;
        if (accepted) requests.insert(requests.end(), {end_request, "C"});
        EXPECT_EQ(d.requests_after_header(), requests);

        std::vector<std::string> stages = {"RECstart", "LOOP end 30 133", "RECend",
                                           accepted ? "box.dsp " + std::to_string(c.size) + " " +
                                                          std::to_string(blocks)
                                                    : c.refusal};
        for (std::size_t k = 0; k < blocks; ++k)
            stages.insert(stages.end(), {"i64 out", "i64 1029"});
        if (accepted) stages.insert(stages.end(), {"endfej1 out", "endfej2 out", "Check"});
        stages.push_back("REC exit");
        EXPECT_EQ(d.stages(), stages);

        EXPECT_EQ(d.platform.messages.back().first, c.corrupt_block
                                                        ? "Download mistake file (check)"
                                                    : c.message.empty() ? wait_text
                                                                        : c.message);
        EXPECT_EQ(d.platform.file_requests.size(), saved ? 1u : 0u);
        EXPECT_TRUE(saved ? test::read_file(target) == d.box.data : !test::exists(target));
        std::string length = c.length;
        EXPECT_EQ(d.field(91, 12, 9), length.append(9 - length.size(), ' '));
        const std::string counter = blocks ? std::to_string(blocks * 1024) : "";
        EXPECT_TRUE(d.field(62, 12, 7).starts_with(counter));
        d.expect_idle();
    }
}

// The box's name is proposed as a plain name in the folder of the last
// download; the name confirmed gets ".DSP" added unless it ends in it.
TEST(DownloadReceive, SavesUnderTheConfirmedName) {
    const struct {
        std::string offered, proposed;
        std::string answer;  // "@" stands for the test directory
        std::string written; // "" when nothing may be written
        std::string down;    // "DOWN" afterwards
        std::string dsp;     // "DSP" afterwards
    } cases[] = {
        {"../../x", "x", "@/x.bin", "@/x.bin.DSP", "@/x.bin.DSP", "@/x.bin.DSP"},
        {"/etc/passwd", "passwd", "@/x.dsp", "@/x.dsp", "@/x.dsp", "@/x.dsp"},
        {"C:\\a\\b.dsp", "b.dsp", "@/Y.DsP", "@/Y.DsP", "@/Y.DsP", "@/Y.DsP"},
        {"a\x01z\x1b[2J.dsp", "a_z_[2J.dsp", "@/abc", "@/abc.DSP", "@/abc.DSP", "@/abc.DSP"},
        {"..", "download", "", "", "/old/a.DSP", "/old/b.DSP"}, // cancelled
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.offered);
        Download d;
        const auto in_dir = [&d](std::string s) {
            if (s.starts_with("@/")) s = d.dir / s.substr(2);
            return s;
        };
        d.platform.settings[{"LAST", "DOWN"}] = "/old/a.DSP";
        d.platform.settings[{"LAST", "DSP"}] = "/old/b.DSP";
        d.box.offer(c.offered, 1500);
        d.platform.file_answers.push_back(in_dir(c.answer));
        d.click();
        ASSERT_EQ(d.platform.file_requests.size(), 1u);
        const FileDialogRequest& r = d.platform.file_requests[0];
        EXPECT_EQ((std::vector<std::string>{r.title, r.pattern, r.folder, r.default_name}),
                  (std::vector<std::string>{"Select DSP filename", "*.DSP", "/old/", c.proposed}));
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
        d.expect_idle();
    }
}

// Blocks 1 to n in turn.
std::vector<int> in_turn(int from, int to) {
    std::vector<int> out;
    for (int k = from; k <= to; ++k) out.push_back(k);
    return out;
}

std::vector<int> joined(std::initializer_list<std::vector<int>> parts) {
    std::vector<int> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Each block must carry its number (modulo 256) and the complement. A repeat
// of the block just taken, as a box sends it when it missed the ACK, is
// answered with the ACK again and dropped; any other number ends the
// download at once with nothing saved.
TEST(DownloadReceive, TakesOnlyTheBlockItAskedFor) {
    const std::vector<int> all9 = in_turn(1, 9);
    std::vector<std::string> cap_notes(10, "i64 repeat 5");
    cap_notes.push_back("bad block 6 05 FA");
    const struct {
        const char* label;
        int blocks;
        std::vector<int> order;         // as the box sends them
        int sent;                       // blocks the box has sent when the download ends
        std::vector<std::string> notes; // the stage lines about numbers
        std::string stop = {};          // the message that ends it; "" when saved
        std::map<int, char> complement = {};
        std::map<int, std::int64_t> late_us = {}; // by send
    } cases[] = {
        {"block 5 twice", 9, joined({in_turn(1, 5), {5}, in_turn(6, 9)}), 10, {"i64 repeat 5"}},
        {"block 1 twice", 9, joined({{1}, all9}), 10, {"i64 repeat 1"}},
        // Each repeat starts the 5-s wait for the block anew.
        {"block 5 three times, each copy and then block 6 4.5 s late",
         9,
         joined({in_turn(1, 5), {5, 5}, in_turn(6, 9)}),
         11,
         {"i64 repeat 5", "i64 repeat 5"},
         "",
         {},
         {{6, 4'500'000}, {7, 4'500'000}, {8, 4'500'000}}},
        // Numbers wrap past 255: block 256 carries 00 FF.
        {"past 255, block 256 twice",
         300,
         joined({in_turn(1, 256), {256}, in_turn(257, 300)}),
         301,
         {"i64 repeat 256"}},
        {"blocks 5 and 6 swapped",
         9,
         joined({in_turn(1, 4), {6, 5}, in_turn(7, 9)}),
         5,
         {"bad block 5 06 F9"},
         "The download stopped: block 5 of 9 was expected (number 05 FA), the box sent number 06 "
         "F9. Nothing was saved."},
        {"an older block",
         9,
         joined({in_turn(1, 6), {5}}),
         7,
         {"bad block 7 05 FA"},
         "The download stopped: block 7 of 9 was expected (number 07 F8), the box sent number 05 "
         "FA. Nothing was saved."},
        {"block 2 first",
         9,
         in_turn(2, 9),
         1,
         {"bad block 1 02 FD"},
         "The download stopped: block 1 of 9 was expected (number 01 FE), the box sent number 02 "
         "FD. Nothing was saved."},
        {"a wrong complement",
         9,
         all9,
         3,
         {"bad block 3 03 00"},
         "The download stopped: block 3 of 9 was expected (number 03 FC), the box sent number 03 "
         "00. Nothing was saved.",
         {{3, '\x00'}}},
        // A box that repeats for ever must not hold the program for ever.
        {"block 5 eleven times more", 9, joined({in_turn(1, 5), std::vector<int>(11, 5), {6}}), 16,
         cap_notes,
         "The download stopped: block 5 came again 11 times instead of block 6 of 9. Nothing was "
         "saved."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Download d;
        d.box.offer("box.dsp", std::size_t(c.blocks) * 1024 - 100);
        d.box.order = c.order;
        d.box.complement = c.complement;
        d.box.late_us = c.late_us;
        const std::string target = d.dir / "saved.dsp";
        d.platform.file_answers.push_back(target);
        d.click();

        const bool saved = c.stop.empty();
        std::vector<std::string> requests(std::size_t(c.sent), next_request);
        requests[0] = first_request;
        if (saved) requests.insert(requests.end(), {end_request, "C"});
        EXPECT_EQ(d.requests_after_header(), requests);
        std::vector<std::string> notes;
        for (const auto& l : d.stages())
            if (l.starts_with("i64 repeat") || l.starts_with("bad block")) notes.push_back(l);
        EXPECT_EQ(notes, c.notes);
        EXPECT_TRUE(saved ? test::read_file(target) == d.box.data : !test::exists(target));
        EXPECT_EQ(d.platform.file_requests.size(), saved ? 1u : 0u);
        EXPECT_EQ(d.platform.messages.back().first, saved ? wait_text : c.stop);
        d.expect_idle();
    }
}

// A full path of 7 characters or fewer that nothing uses yet, as short as a
// name a technician can choose.
std::string short_free_path() {
#ifdef _WIN32
    const std::string root = "C:\\";
#else
    const std::string root = "/tmp/";
#endif
    for (char a = 'a'; a <= 'z'; ++a)
        for (char b = 'a'; b <= 'z'; ++b) {
            const std::string path = root + a + b;
            if (!test::exists(path) && !test::exists(path + ".DSP")) return path;
        }
    return {};
}

// Any name but the empty one saves; a save that fails says why and the
// dialog comes back with the failed name until the file is saved or the
// technician cancels. Only a saved path is remembered.
TEST(DownloadReceive, SaveDialogComesBackUntilTheFileIsSavedOrCancelled) {
    const std::string short_path = short_free_path();
    ASSERT_FALSE(short_path.empty());
    const std::string not_saved =
        "The 1500 bytes received from the box were not saved: no file name was chosen.";
    const struct {
        const char* label;
        std::vector<std::string> answers; // "@/" the test directory, "~" a 7-character path
        std::vector<std::string> failed;  // the paths that could not be written, in turn
        std::string saved;                // "" when nothing may be saved
    } cases[] = {
        {"a name of 7 characters", {"~"}, {}, "~.DSP"},
        {"cancelled", {""}, {}, ""},
        {"a missing folder, then a good one", {"@/no/x.dsp", "@/x.dsp"}, {"@/no/x.dsp"}, "@/x.dsp"},
        {"a path through a file twice, then cancelled",
         {"@/plain/x", "@/plain/x.DSP", ""},
         {"@/plain/x.DSP", "@/plain/x.DSP"},
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Download d;
        const auto path = [&](std::string s) {
            if (s.starts_with("@/")) s = d.dir / s.substr(2);
            if (s.starts_with("~")) s = short_path + s.substr(1);
            return s;
        };
        test::write_file(d.dir / "plain", "a file, not a folder");
        d.platform.settings[{"LAST", "DOWN"}] = "/old/a.DSP";
        d.platform.settings[{"LAST", "DSP"}] = "/old/b.DSP";
        d.box.offer("box.dsp", 1500);
        for (const auto& a : c.answers) d.platform.file_answers.push_back(path(a));
        d.click();
        const std::string saved = path(c.saved);
        const bool ok = !saved.empty() && test::read_file(saved) == d.box.data;
        if (!saved.empty()) fs::remove(os_path(saved));
        EXPECT_TRUE(saved.empty() || ok);

        std::vector<std::string> dialogs{"/old/box.dsp"}, expected_messages{wait_text};
        for (const auto& f : c.failed) {
            dialogs.push_back(path(f));
            expected_messages.push_back("The file " + path(f) + " could not be written: ");
        }
        if (saved.empty()) expected_messages.push_back(not_saved);
        std::vector<std::string> shown_dialogs, messages;
        for (const auto& r : d.platform.file_requests)
            shown_dialogs.push_back(r.folder + r.default_name);
        EXPECT_EQ(shown_dialogs, dialogs);
        for (std::size_t i = 0; i < d.platform.messages.size(); ++i) {
            const std::string& m = d.platform.messages[i].first;
            const bool failure =
                i < expected_messages.size() && expected_messages[i].ends_with(": ");
            messages.push_back(failure ? m.substr(0, expected_messages[i].size()) : m);
            if (failure) {
                EXPECT_TRUE(m.ends_with(". A file of that name that was there is unchanged. "
                                        "Choose another folder or name, or cancel."))
                    << m;
            }
        }
        EXPECT_EQ(messages, expected_messages);
        EXPECT_EQ(d.platform.read_setting("LAST", "DOWN"), saved.empty() ? "/old/a.DSP" : saved);
        EXPECT_EQ(d.platform.read_setting("LAST", "DSP"), saved.empty() ? "/old/b.DSP" : saved);
        d.expect_idle();
    }
}

// A wait that brings no header ends with a message that says why, unless the
// technician stopped it.
TEST(DownloadReceive, AWaitWithoutAHeaderSaysWhy) {
    const struct {
        const char* label;
        std::function<void(Download&)> set_up;
        std::string stage;   // the start of the stage line that ends it
        std::string message; // "" for none after the wait message
        int writes = -1;     // "C"s sent before the end; -1: not counted
    } cases[] = {
        // tmrR1 or the countdown, whichever comes first, ends it.
        {"a silent box", [](Download& d) { d.line.on_write = nullptr; }, "if ",
         "No header came from the box on COM1 within 30 s (asked at 230400 and 115200 baud). "
         "Nothing was downloaded."},
        {"part of a header",
         [](Download& d) {
             d.line.on_write = [](HeadlessLine& l, const std::string& w) {
                 if (w == "C" && l.writes.size() == 1) l.send(std::string(100, '\x01'), 1000);
             };
         },
         "bad 1,2,3 010101",
         "No header came from the box on COM1 within 30 s (100 of its 133 bytes came). Nothing "
         "was downloaded."},
        {"the port refused at both rates", [](Download& d) { d.line.refuse_open = true; },
         "if <> 30 0",
         "COM1 could not be opened at 230400 or 115200 baud (Device or resource busy). Nothing "
         "was downloaded.",
         0},
        {"the port refused on the reopening",
         [](Download& d) { d.line.on_open = [](HeadlessLine& l) { l.refuse_open = true; }; },
         "if <> 30 0",
         "COM1 could not be opened at 115200 baud (Device or resource busy). Nothing was "
         "downloaded.",
         1},
        {"the technician holds the right button",
         [](Download& d) {
             d.line.on_write = nullptr;
             d.platform.right_button_from_us = 2'000'000;
         },
         "if <> 29 0", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Download d;
        c.set_up(d);
        d.click();
        EXPECT_TRUE(d.staged(c.stage)) << ::testing::PrintToString(d.stages());
        std::vector<std::string> messages;
        for (const auto& m : d.platform.messages) messages.push_back(m.first);
        std::vector<std::string> expected{wait_text};
        if (!c.message.empty()) expected.push_back(c.message);
        EXPECT_EQ(messages, expected);
        EXPECT_TRUE(d.platform.file_requests.empty());
        if (c.writes >= 0) { // a refused open ends the wait at the next reopening
            EXPECT_EQ(d.line.writes.size(), std::size_t(c.writes));
            EXPECT_GE(d.elapsed_us(), 250'000);
            EXPECT_LE(d.elapsed_us(), 400'000);
        }
        d.expect_idle();
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
        const std::int64_t gap = i ? w[i].at_us - w[i - 1].at_us : 250'000;
        EXPECT_GE(gap, 250'000);
        EXPECT_LE(gap, 385'000);
    }
    // tmrR1 or the countdown, whichever comes first, ends it with nothing read.
    const auto stages = d.stages();
    ASSERT_EQ(stages.size(), 4u);
    EXPECT_TRUE(stages[1].starts_with("LOOP end ") && stages[1].ends_with(" 0"));
    EXPECT_TRUE(stages[2] == "if idob <1" || stages[2].starts_with("if <> "));
    EXPECT_TRUE(d.platform.file_requests.empty());
    d.expect_idle();
}

TEST(DownloadReceive, ErrorInAHandlerDuringTheHeaderWaitReachesTheCallerWithThePortClosed) {
    Download d;
    d.line.on_write = nullptr; // a silent box
    d.platform.at(1000, [] { throw std::runtime_error("handler failed"); });
    EXPECT_THROW(d.click(), std::runtime_error);
    EXPECT_GT(d.line.writes.size(), 2u); // it failed inside the wait
    d.expect_idle();
}

// Block 3 of 5 never comes: the download ends after 5 to 6 s, or at once
// when the adapter was unplugged between two blocks, and saves nothing.
TEST(DownloadReceive, MissingBlockEndsTheDownloadAndSaysWhy) {
    const struct {
        const char* label;
        double start_of_day;
        bool unplugged;
        std::int64_t min_us, max_us; // from the last request to the end
        std::string reason;
    } cases[] = {
        // The read that runs when the deadline passes still takes its full
        // time-out for 1029 bytes.
        {"a silent box", 12 * 3600.0, false, 5'000'000, 6'000'000 + 1'030'000, ""},
        // A wait on the seconds-of-day clock would never end there (the test
        // would time out).
        {"across midnight", 86400.0 - 1.5, false, 5'000'000, 6'000'000 + 1'030'000, ""},
        {"an adapter unplugged", 12 * 3600.0, true, 0, 1'100'000,
         ": the port's device went away (adapter unplugged?)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Download d;
        d.platform.start_of_day_s = c.start_of_day;
        d.box.offer("box.dsp", 5 * 1024);
        d.box.stop_after = 2;
        int next_requests = 0;
        const auto serve = d.line.on_write;
        d.line.on_write = [&](HeadlessLine& line, const std::string& bytes) {
            serve(line, bytes);
            if (c.unplugged && bytes == next_request && ++next_requests == 2) line.lost = true;
        };
        d.click();

        EXPECT_EQ(d.requests_after_header(),
                  (std::vector<std::string>{first_request, next_request, next_request}));
        const std::int64_t waited = d.platform.now_us() - d.line.writes.back().at_us;
        EXPECT_GE(waited, c.min_us);
        EXPECT_LE(waited, c.max_us);
        ASSERT_EQ(d.platform.messages.size(), 2u);
        EXPECT_EQ(d.platform.messages[1].first, "The download stopped: block 3 of 5 did not come" +
                                                    c.reason + ". Nothing was saved.");
        EXPECT_TRUE(d.platform.file_requests.empty());
        d.expect_idle();
    }
}

TEST(DownloadReceive, FailedWriteLeavesWhatWasThereAndSaysSo) {
    Download d;
    const std::string target = d.dir / "saved.DSP";
    fs::create_directory(target);
    test::write_file(target + "/keep", "EARLIER");
    d.box.offer("box.dsp", 2000);
    d.platform.file_answers.push_back(target);
    d.click();
    EXPECT_EQ(test::read_file(target + "/keep"), "EARLIER");
    for (const auto& e : fs::directory_iterator(d.dir.path()))
        EXPECT_EQ(e.path().filename().string().find(".part"), std::string::npos);
    EXPECT_TRUE(d.staged("not written "));
    ASSERT_EQ(d.platform.messages.size(), 3u);
    EXPECT_TRUE(
        d.platform.messages[1].first.starts_with("The file " + target + " could not be written: "));
    ASSERT_EQ(d.platform.file_requests.size(), 2u); // again, with the same name; then cancelled
    EXPECT_EQ(d.platform.file_requests[1].folder + d.platform.file_requests[1].default_name,
              target);
    d.expect_idle();
}

TEST(DownloadReceive, NoSecondDownloadStartsInsideARunningOne) {
    Download d;
    d.box.offer("box.dsp", 3000);
    d.box.answer_from_us = 600'000;
    d.platform.file_answers.push_back(d.dir / "box.dsp");
    d.platform.at(100, [&d] { d.click(); }); // reaches the handler while the first one waits
    d.click();
    const auto stages = d.stages();
    EXPECT_EQ(std::count(stages.begin(), stages.end(), "RECstart"), 1);
    EXPECT_TRUE(test::read_file(d.dir / "box.dsp") == d.box.data);
}

// The whole program, so that its main loop sees the close request or the signal.
struct Program {
    test::TempDir dir;
    HeadlessPlatform platform;
    Context ctx{platform};
    HeadlessLine& line = platform.add_line("COM1");
    Box box;
    Program() {
        ctx.process.program_path = dir / "VELK_(COM1).exe";
        ctx.process.current_dir = dir.path();
    }
    void download_at(int ms, std::size_t size) {
        box.offer("box.dsp", size);
        box.serve(line);
        platform.file_answers.push_back(dir / "box.dsp");
        platform.at(ms, [this] { ctx.window.get("cg1").on_click(); });
    }
};

TEST(DownloadReceive, CloseDuringADownloadTakesEffectAfterIt) {
    Program p;
    p.download_at(100, 4000);
    p.box.answer_from_us = 2'000'000;
    p.platform.at(1000, [&p] { // the close box, as the window reports it
        p.ctx.window.on_close();
        p.ctx.window.exists = false;
    });
    EXPECT_EQ(run_program(p.ctx), 0);

    EXPECT_TRUE(test::read_file(p.dir / "box.dsp") == p.box.data);
    const auto& l = p.platform.diag_lines;
    const auto at = [&l](const char* s) { return std::find(l.begin(), l.end(), s) - l.begin(); };
    EXPECT_LT(at("close 1"), at("RECend"));
    EXPECT_LT(at("RECend"), at("REC exit"));
    EXPECT_LT(at("REC exit"), at("exit"));
    EXPECT_LT(at("exit"), std::ptrdiff_t(l.size()));
}

// A signal in the middle of a download ends the whole run at once: the port
// closed, not one byte more on the line, no file, no message box, and the
// signal in the exit status. (The upload's case runs end to end.)
TEST(EndSignal, EndsTheRunWithThePortClosedAndNoFile) {
    const struct {
        const char* label;
        int signal, at_ms;
        int box_stops_after; // blocks the box sends before it falls silent
    } cases[] = {
        {"SIGINT in the block phase, where no events run", SIGINT, 1000, -1},
#ifdef SIGHUP
        {"SIGHUP while the download waits 5 s for a block", SIGHUP, 2000, 10},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Program p;
        p.download_at(100, 50 * 1024);
        p.box.stop_after = c.box_stops_after;
        p.platform.signal_at(c.at_ms, c.signal);

        EXPECT_EQ(run_program(p.ctx), 128 + c.signal);
        EXPECT_LE(p.platform.now_us(), (c.at_ms + 1100) * 1000); // within one read's time-out
        EXPECT_FALSE(p.line.open);
        const auto requests = std::count_if(p.line.writes.begin(), p.line.writes.end(),
                                            [](const auto& w) { return w.bytes == next_request; });
        EXPECT_TRUE(requests > 0 && requests < 49) << requests; // the signal came in the phase
        EXPECT_LT(p.line.writes.back().at_us, c.at_ms * 1000);
        EXPECT_FALSE(test::exists(p.dir / "box.dsp"));
        EXPECT_EQ(p.platform.messages.size(), 1u); // the wait message only
        EXPECT_EQ(p.platform.diag_lines.back(), "ended by " + signal_name(c.signal));
    }
}

} // namespace
} // namespace velk2
