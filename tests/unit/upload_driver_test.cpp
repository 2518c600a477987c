#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>

#include "hex_text.h"
#include "scripted_bootloader.h"
#include "serial/hex_format.h"
#include "serial/port_connection.h"
#include "support/harness.h"
#include "support/recording_report.h"
#include "upload/jpg_wrap.h"
#include "upload/ymodem_stream.h"

namespace velk2 {
namespace {

using test::ack;
using test::nak;

const std::string dsp_file = "/data/fw/a.dsp";
const std::string title = "title Tarnwick upload PC to box";
constexpr int whole_stream = 7; // block 0, three data blocks, EOT, EOT, closing block
using Messages = std::vector<std::pair<std::string, std::string>>; // text, title

// "Upload to Box" for a 2500-byte DSP file; the box is silent until a test
// gives it something to say.
struct Upload : test::Harness {
    test::BootloaderScript box;
    test::RecordingReport& rec = test::RecordingReport::install(ctx);
    explicit Upload(std::size_t size = 2500) {
        ctx.upload_file = dsp_file;
        ctx.upload_data = test::pattern_bytes(size);
        test::play_bootloader(line, box);
    }
    void click(const char* button) { ctx.window.get(button).on_click(); }
    bool has_diag(const std::string& l) const {
        return std::count(platform.diag_lines.begin(), platform.diag_lines.end(), l) > 0;
    }
};

TEST(UploadHandshake, BytesOnTheWireAndLogTexts) {
    const std::string wait = "start timer 5sec", garbled_c("\x1E\xFE", 2);
    const struct {
        const char* name;
        std::vector<test::Hello> hello;
        std::vector<std::string> logs; // between "periferial open" and the stream or "time end"
        int packets;                   // of the stream, from block 0 on
        const char* baud;              // of every write
        std::string block0_reply = ack;
        int end_min_ms = -1, end_max_ms = -1;
        int right_button_at_ms = -1; // held from then on
        int stop_at_ms = -1;         // "STOP upload" pressed
        bool box_silent = false;     // a message names the port and what to check
    } cases[] = {
        // clang-format off
        {"C at once", {{"230400", 100, "C"}}, {"input-1- OK"}, whole_stream, "230400"},
        {"C at once, block 0 answered with NAK: the data blocks follow", {{"230400", 100, "C"}},
         {}, whole_stream, "230400", nak},
        {"C C is no request; a later single C is", {{"230400", 100, "CC"}, {"230400", 3000, "C"}},
         {wait, "input OK"}, whole_stream, "230400"},
        {"garbled C: listen again at 115200", {{"230400", 1500, garbled_c}, {"115200", 100, "C"}},
         {wait, "input-1- OK"}, whole_stream, "115200"},
        {"silence: five seconds after the first listen", {}, {wait}, 0, "", ack, 6001, 6012, -1,
         -1, true},
        {"a switch to 115200 starts a new five seconds", {{"230400", 1500, garbled_c}},
         {wait, wait}, 0, "", ack, 7500, 7515, -1, -1, true},
        {"STOP in the wait: time end, and no word of a silent box", {}, {wait}, 0, "", ack, 6001,
         6012, -1, 2000},
        {"C as the reply to block 0 inside the wait ends it", {{"230400", 1500, "C"}},
         {wait}, 1, "230400", "C", 1660, 1680},
        {"the right mouse button held in the wait ends it", {}, {wait}, 0, "", ack, 2000, 2010,
         2000},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Upload u;
        u.ctx.upload_debug = true;
        u.box.hello = c.hello;
        u.box.block0_reply = c.block0_reply;
        if (c.right_button_at_ms >= 0)
            u.platform.at(c.right_button_at_ms, [&] { u.platform.mouse = 2; });
        if (c.stop_at_ms >= 0) u.platform.at(c.stop_at_ms, [&] { u.click("cm4"); });
        u.click("cm1");

        const Stream stream = letstream(u.ctx.upload_data, dsp_file);
        std::string sent;
        for (int e = 1; e <= c.packets; ++e) sent += stream_packet(stream, e);
        EXPECT_EQ(u.line.written(), sent);
        for (const auto& w : u.line.writes) EXPECT_EQ(w.baud, c.baud);
        const bool streamed = c.packets == whole_stream;
        std::vector<std::string> logs = {"file prepare", "periferial open"};
        logs.insert(logs.end(), c.logs.begin(), c.logs.end());
        const auto tail =
            streamed ? std::vector<std::string>{"stream:I", "end:1", "end:2", "end:3", "done"}
                     : std::vector<std::string>{"time end"};
        logs.insert(logs.end(), tail.begin(), tail.end());
        EXPECT_EQ(u.rec.only("log"), logs);
        EXPECT_EQ(u.rec.calls.front(), title);
        // The ending stays in the log field; a silent box is named with its port.
        EXPECT_EQ(u.field(28, 12, 20),
                  (streamed ? "done" : "time end") + std::string(streamed ? 16 : 12, ' '));
        ASSERT_EQ(u.platform.messages.size(), c.box_silent ? 1u : 0u);
        if (c.box_silent) {
            EXPECT_EQ(u.platform.messages[0].second, "Upload to Box");
            for (const char* told : {"The box on COM1 did not answer", "bootloader", "cable"})
                EXPECT_NE(u.platform.messages[0].first.find(told), std::string::npos) << told;
        }
        EXPECT_EQ(u.ctx.upload_done, streamed);
        const std::int64_t end_ms = u.platform.now_us() / 1000;
        EXPECT_TRUE(c.end_min_ms < 0 || (end_ms >= c.end_min_ms && end_ms <= c.end_max_ms))
            << end_ms;
        EXPECT_FALSE(u.line.open);
        EXPECT_EQ(u.ctx.exchange, Exchange::none);
        EXPECT_FALSE(u.ctx.quit_requested);
        // What stays: the file in the store and the panel, its length.
        EXPECT_EQ(u.platform.read_setting("LAST", "UPFILE"), dsp_file);
        EXPECT_EQ(u.field(28, 10, 15), dsp_file + " ");
        EXPECT_EQ(u.field(91, 12, 9), "2-500    ");
        EXPECT_EQ(u.ctx.window.get("lbl2").text, "2500");
        // The debug files: the payload and two empty ones.
        EXPECT_EQ(test::read_file(u.ctx.work_dir + "out.dsp"), u.ctx.upload_data);
        EXPECT_TRUE(test::exists(u.ctx.work_dir + "Pout.dsp") &&
                    test::exists(u.ctx.work_dir + "Pin.dsp"));
    }
}

TEST(UploadTrace, BoxThatNeverAnswers) {
    Upload u;
    u.ctx.trace_on = true;
    test::write_file(u.ctx.work_dir + "inp_1.dat", "left from before\r\n");
    u.click("cm1");

    const std::string device = hex_bytes("COM1:230400,n,8,1 ");
    EXPECT_EQ(test::read_file(u.ctx.work_dir + "inp_1.dat"),
              "<A> proba_nr: 1\r\n<A> Open-I-> " + device + "\r\n<B> Open-O-> " + device +
                  "\r\n<B> Baudrate-> " + hex_bytes("230400 ") +
                  "\r\n<C> input(1000)\r\n<J> exit\r\n");
    // Two empty records: the first listen and the last read of the wait.
    EXPECT_EQ(test::read_file(u.ctx.work_dir + "inp_2.dat").size(), 160u);
}

TEST(UploadInterrupted, EndsPromptlyWithThePortClosed) {
    const struct {
        const char* name;
        int at_ms;
        std::function<void(Upload&)> action;
        const char* detail; // of the message; nullptr: the error reaches the caller
    } cases[] = {
        {"STOP between data blocks", 400, [](Upload& u) { u.click("cm4"); }, "port closed"},
        {"adapter unplugged between data blocks", 400, [](Upload& u) { u.line.lost = true; },
         "port lost: the port's device went away (adapter unplugged?)"},
        {"STOP in the end exchange", 2000, [](Upload& u) { u.click("cm4"); }, "port closed"},
        {"an event handler fails in the end exchange", 2000,
         [](Upload&) { throw std::runtime_error("handler failed"); }, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Upload u(40 * 1024);
        u.box.hello = {{"230400", 100, "C"}};
        u.box.reply_after_ms = 10;
        u.box.closing_reply = ""; // the last wait lasts 20 s unless cut short
        u.platform.at(c.at_ms, [&] { c.action(u); });
        if (c.detail) {
            u.click("cm1");
            EXPECT_EQ(u.platform.messages,
                      (Messages{{"mistake:\n" + std::string(c.detail), "Hmmmmm"}}));
        } else {
            EXPECT_THROW(u.click("cm1"), std::runtime_error);
        }
        EXPECT_LE(u.platform.now_us() / 1000, c.at_ms + 30); // no reply time-out waited out
        EXPECT_FALSE(u.line.open);
        EXPECT_FALSE(u.ctx.upload_done);
        EXPECT_EQ(u.ctx.exchange, Exchange::none);
        EXPECT_TRUE(u.ctx.window.get("cm1").enabled);
    }
}

TEST(UploadGuard, NoPressStartsAnExchangeInsideARunningOne) {
    Upload u;
    // STOP enables "Upload to Box" again while the 5-s wait still runs.
    u.platform.at(2000, [&] { u.click("cm4"), u.click("cm1"); });
    u.click("cm1");
    EXPECT_EQ(u.line.open_count, 1);
    EXPECT_TRUE(u.has_diag("upload running"));
    u.click("cm1"); // once the first upload has ended, the button works again
    EXPECT_EQ(u.line.open_count, 2);

    Upload d;
    d.ctx.exchange = Exchange::download; // a download waits for its header
    d.click("cm1");
    EXPECT_EQ(d.line.open_count, 0);
    EXPECT_TRUE(d.has_diag("download running"));
}

// A base name of `n` characters ending in ".dsp".
std::string dsp_named(std::size_t n) {
    return "/fw/" + std::string(n - 4, 'n') + ".dsp";
}

// The route goes by the last three letters of the file; what cannot be sent
// is refused before the port opens, in the automatic start too.
TEST(UploadRoute, WhatAPressSendsOrWhyNot) {
    const std::string unprepared =
        " is not prepared for the welcome screen; select a picture that fits.";
    const struct {
        std::string file, data;
        bool streams;
        std::string message; // the refusal
        bool ready = true;   // the data was prepared from the file
    } cases[] = {
        {"/fw/image.dsp", "firmware", true, ""},
        {"/pics/logo.jpg", wrap_jpg("\xFF\xD8 tiny"), true, ""},
        {"/fw/largest.DSP", std::string(stream_max_payload, 'x'), true, ""}, // fills the table
        // The longest name that leaves room for the size.
        {dsp_named(122), std::string(3000, 'x'), true, ""},
        {"/docs/notes.txt", "text", false, ""},
        {"", "", false, ""},
        {dsp_file, std::string(stream_max_payload + 1, 'x'), false,
         "The file is too big for one upload: 2093056 bytes, at most 2093055."},
        {"/p/logo.jpg", "\xFF\xD8\xFF\xE0 raw jpg", false, "The picture /p/logo.jpg" + unprepared},
        {"/p/big.JPG", "", false, "The picture /p/big.JPG" + unprepared},
        // 123 + 0x00 + "3000" + 0x00 is 129 bytes: block 0 would announce 300.
        {dsp_named(123), std::string(3000, 'x'), false,
         "The file name is too long for one upload: 123 bytes, at most 122 leave room for the "
         "size in the first block. Rename the file " +
             dsp_named(123).substr(4) + "."},
        // An earlier file's bytes after a file that could not be read.
        {dsp_file, "old firmware", false,
         "The file /data/fw/a.dsp could not be prepared; select a readable file.", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        Upload u;
        u.box.hello = {{"230400", 100, "C"}};
        u.ctx.quit_after_upload = true; // as in the automatic start
        u.ctx.upload_done = true;       // from an earlier upload
        u.ctx.upload_file = c.file;
        u.ctx.upload_data = c.data;
        u.ctx.upload_ready = c.ready;
        u.click("cm1");

        EXPECT_EQ(u.rec.calls.front(), title);
        EXPECT_EQ(u.platform.messages,
                  (c.message.empty() ? Messages{} : Messages{{c.message, "VELK2"}}));
        // Any route taken decides the automatic start's outcome and ends it.
        const bool route = c.streams || !c.message.empty();
        EXPECT_EQ(u.ctx.upload_done, c.streams || !route);
        EXPECT_EQ(u.ctx.quit_requested, route);
        EXPECT_EQ(u.ctx.exchange, Exchange::none);
        EXPECT_TRUE(c.streams ? u.line.written() == letstream(c.data, c.file).stream_buf
                              : u.line.open_count == 0);
    }
}

TEST(UploadRoute, BinFileTestsThePortAt38400AndGoesNoFurtherWhenItDoesNotOpen) {
    for (const bool opens : {true, false}) {
        SCOPED_TRACE(opens);
        test::Harness h;
        h.ctx.trace_on = true;
        h.line.refuse_open = !opens;
        std::vector<std::string> rates;
        h.line.on_open = [&](HeadlessLine& l) { rates.push_back(l.baud); };
        h.ctx.upload_file = "/svc/loader.BIN";
        h.ctx.upload_data = "service image";
        h.ctx.window.get("cm1").on_click();

        for (const auto& w : h.line.writes) EXPECT_NE(w.bytes.size(), block0_size);
        EXPECT_EQ(h.ctx.exchange, Exchange::none);
        // The port test first; when it fails, nothing after it.
        const std::string test_open = "<A> Open-I-> " + hex_bytes("COM1:38400,n,8,1 ") + "\r\n";
        EXPECT_EQ(opens ? rates.at(0) : test::read_file(h.ctx.work_dir + "inp_1.dat"),
                  opens ? "38400" : test_open);
    }
}

TEST(UploadRoute, PressWithThePortOpenOnlyClosesIt) {
    Upload u;
    ASSERT_TRUE(port_open(u.ctx, "230400"));
    u.click("cm1");
    EXPECT_FALSE(u.line.open);
    EXPECT_EQ(u.line.open_count, 1);
    EXPECT_TRUE(u.line.writes.empty());
    EXPECT_TRUE(u.platform.read_setting("LAST", "UPFILE").empty());
}

} // namespace
} // namespace velk2
