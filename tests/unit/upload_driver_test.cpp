#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "hex_text.h"
#include "scripted_bootloader.h"
#include "serial/hex_format.h"
#include "serial/port_connection.h"
#include "shell/handlers.h"
#include "support/harness.h"
#include "upload/jpg_wrap.h"
#include "upload/upload_driver.h"
#include "upload/ymodem_stream.h"

namespace velk2 {
namespace {

using test::BootloaderScript;
using test::Harness;
using test::nak;

const std::string dsp_file = "/data/fw/a.dsp";
constexpr std::size_t payload_size = 2500; // three data blocks: seven packets in all
constexpr int whole_stream = 7;
const std::string garbled_c("\x1E\xFE", 2);

// The log-field texts of the run in order (the length and counter fields
// also go through the status writer; they are left out).
std::vector<std::string> log_texts(const Harness& h) {
    std::vector<std::string> texts;
    for (const auto& line : h.platform.diag_lines) {
        if (line.rfind("\t\t", 0) != 0) continue;
        std::string text = line.substr(2);
        if (text != "2-500" && text != std::string(7, ' ')) texts.push_back(text);
    }
    return texts;
}

// The first `packets` packets of the stream, back to back.
std::string stream_prefix(const Stream& stream, int packets) {
    std::string bytes;
    for (int e = 1; e <= packets; ++e) bytes += stream_packet(stream, e);
    return bytes;
}

void click(Harness& h, const char* button) {
    h.ctx.window.get(button).on_click();
}

void prepare_dsp(Harness& h, std::size_t size = payload_size) {
    h.ctx.upload_file = dsp_file;
    h.ctx.upload_data = test::pattern_bytes(size);
}

bool has_diag(const Harness& h, const std::string& line) {
    const auto& d = h.platform.diag_lines;
    return std::find(d.begin(), d.end(), line) != d.end();
}

// ------------------------------------------------------------ handshake

struct HandshakeCase {
    const char* name;
    BootloaderScript box;
    std::vector<std::string> logs;
    int packets_sent;
    const char* baud; // of every write
    int end_min_ms = -1, end_max_ms = -1;
    int right_button_at_ms = -1; // held from then on
};

void PrintTo(const HandshakeCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<HandshakeCase> handshake_cases() {
    const std::vector<std::string> streamed = {"stream:I", "end:1", "end:2", "end:3", "done", ""};
    auto logs = [&](std::vector<std::string> head, bool stream) {
        if (stream) head.insert(head.end(), streamed.begin(), streamed.end());
        return head;
    };
    const std::string fp = "file prepare", po = "periferial open", wait = "start timer 5sec";
    BootloaderScript at_once;
    at_once.hello = {{"230400", 100, "C"}};
    BootloaderScript nak_to_block0 = at_once;
    nak_to_block0.block0_reply = nak;
    BootloaderScript two_then_one;
    two_then_one.hello = {{"230400", 100, "CC"}, {"230400", 3000, "C"}};
    BootloaderScript fall_back;
    fall_back.hello = {{"230400", 1500, garbled_c}, {"115200", 100, "C"}};
    BootloaderScript fall_back_then_silence;
    fall_back_then_silence.hello = {{"230400", 1500, garbled_c}};
    BootloaderScript c_to_block0;
    c_to_block0.hello = {{"230400", 1500, "C"}};
    c_to_block0.block0_reply = "C";
    const BootloaderScript silent;

    return {
        {"C at once", at_once, logs({fp, po, "input-1- OK"}, true), whole_stream, "230400"},
        {"C at once, block 0 answered with NAK: the data blocks follow", nak_to_block0,
         logs({fp, po}, true), whole_stream, "230400"},
        {"C C is no request; a later single C is", two_then_one,
         logs({fp, po, wait, "input OK"}, true), whole_stream, "230400"},
        {"garbled C: listen again at 115200", fall_back, logs({fp, po, wait, "input-1- OK"}, true),
         whole_stream, "115200"},
        {"silence: five seconds after the first listen", silent,
         logs({fp, po, wait, "time end", ""}, false), 0, "", 6001, 6012},
        {"a switch to 115200 starts a new five seconds", fall_back_then_silence,
         logs({fp, po, wait, wait, "time end", ""}, false), 0, "", 7500, 7515},
        {"C as the reply to block 0 inside the wait ends it", c_to_block0,
         logs({fp, po, wait, "time end", ""}, false), 1, "230400", 1660, 1680},
        {"the right mouse button held in the wait ends it", silent,
         logs({fp, po, wait, "time end", ""}, false), 0, "", 2000, 2010, 2000},
    };
}

class UploadHandshake : public ::testing::TestWithParam<HandshakeCase> {};

TEST_P(UploadHandshake, BytesOnTheWireAndLogTexts) {
    const HandshakeCase& c = GetParam();
    Harness h;
    test::play_bootloader(h.line, c.box);
    prepare_dsp(h);
    const Stream stream = letstream(h.ctx.upload_data, dsp_file);
    if (c.right_button_at_ms >= 0)
        h.platform.at(c.right_button_at_ms, [&] { h.platform.mouse = 2; });

    cm1_Click(h.ctx);

    EXPECT_EQ(h.ctx.window.title, "Tarnwick upload PC to box");
    EXPECT_EQ(h.line.written(), stream_prefix(stream, c.packets_sent));
    for (const auto& w : h.line.writes) EXPECT_EQ(w.baud, c.baud);
    EXPECT_EQ(log_texts(h), c.logs);
    EXPECT_TRUE(h.platform.messages.empty());
    EXPECT_EQ(h.ctx.upload_done, c.packets_sent == whole_stream);
    if (c.end_min_ms >= 0) {
        EXPECT_GE(h.platform.now_us() / 1000, c.end_min_ms);
        EXPECT_LE(h.platform.now_us() / 1000, c.end_max_ms);
    }
    // The end steps.
    EXPECT_FALSE(h.line.open);
    EXPECT_EQ(h.ctx.window.get("ch1").value, 0);
    EXPECT_TRUE(h.ctx.window.get("cm1").enabled);
    EXPECT_EQ(h.field(28, 12, 20), std::string(20, ' '));
    EXPECT_EQ(h.ctx.exchange, Exchange::none);
    EXPECT_EQ(h.ctx.transfer_state, 0);
    EXPECT_FALSE(h.ctx.quit_requested);
    // What stays: the file choice, the length and the payload length label.
    EXPECT_EQ(h.platform.read_setting("LAST", "UPFILE"), dsp_file);
    EXPECT_EQ(h.field(91, 12, 9), "2-500    ");
    EXPECT_EQ(h.ctx.window.get("lbl2").text, "2500");
    EXPECT_FALSE(test::exists(h.ctx.work_dir + "out.dsp"));
}

INSTANTIATE_TEST_SUITE_P(Upload, UploadHandshake, ::testing::ValuesIn(handshake_cases()),
                         [](const auto& info) { return test::case_name(info); });

TEST(UploadTrace, BoxThatNeverAnswers) {
    Harness h;
    h.ctx.trace_on = true;
    prepare_dsp(h);
    test::write_file(h.ctx.work_dir + "inp_1.dat", "left from before\r\n");
    cm1_Click(h.ctx);

    const std::string device = hex_bytes("COM1:230400,n,8,1 ");
    EXPECT_EQ(test::read_file(h.ctx.work_dir + "inp_1.dat"), "<A> proba_nr: 1\r\n"
                                                             "<A> Open-I-> " +
                                                                 device +
                                                                 "\r\n"
                                                                 "<B> Open-O-> " +
                                                                 device +
                                                                 "\r\n"
                                                                 "<B> Baudrate-> " +
                                                                 hex_bytes("230400 ") +
                                                                 "\r\n"
                                                                 "<C> input(1000)\r\n"
                                                                 "<J> exit\r\n");
    // Two empty records: the first listen and the last read of the wait.
    EXPECT_EQ(test::read_file(h.ctx.work_dir + "inp_2.dat").size(), 160u);
}

TEST(UploadDebug, FilesAndDiagnosticLines) {
    Harness h;
    h.ctx.upload_debug = true;
    BootloaderScript box;
    box.hello = {{"230400", 100, "CC"}, {"230400", 1500, "C"}};
    box.block_replies[1] = nak;
    test::play_bootloader(h.line, box);
    prepare_dsp(h);
    cm1_Click(h.ctx);

    EXPECT_EQ(test::read_file(h.ctx.work_dir + "out.dsp"), h.ctx.upload_data);
    for (const char* empty : {"Pout.dsp", "Pin.dsp"}) {
        EXPECT_TRUE(test::exists(h.ctx.work_dir + empty)) << empty;
        EXPECT_EQ(test::read_file(h.ctx.work_dir + empty), "") << empty;
    }
    const auto& d = h.platform.diag_lines;
    auto at = [&](const std::string& line) { return std::find(d.begin(), d.end(), line); };
    ASSERT_NE(at("letstreamI"), d.end());
    EXPECT_EQ(at("letstreamI") + 1, at("letstreamO"));
    EXPECT_LT(at("letstreamO"), at("proba:1"));
    EXPECT_LT(at("proba:1"), at("start 1 230400"));
    EXPECT_LT(at("start 1 230400"), at("do1 1 0 "));
    // The pass that read the later "C".
    const auto c_pass = std::find_if(d.begin(), d.end(), [](const std::string& l) {
        return l.starts_with("do1 ") && l.ends_with(" 1 43 ");
    });
    EXPECT_NE(c_pass, d.end());
    const auto refused = std::find_if(d.begin(), d.end(), [](const std::string& l) {
        return l.starts_with("inp2 nincs hatos 2 1 15 ");
    });
    EXPECT_NE(refused, d.end());
}

// ------------------------------------------------------------ faults

struct InterruptCase {
    const char* name;
    int at_ms;
    std::function<void(Harness&)> action;
    const char* detail;
};

void PrintTo(const InterruptCase& c, std::ostream* os) {
    *os << c.name;
}

class UploadInterrupted : public ::testing::TestWithParam<InterruptCase> {};

TEST_P(UploadInterrupted, EndsWithMessageAndClosedPort) {
    const InterruptCase& c = GetParam();
    Harness h;
    BootloaderScript box;
    box.hello = {{"230400", 100, "C"}};
    box.reply_after_ms = 10;
    box.closing_reply = ""; // the last wait lasts 20 s unless cut short
    test::play_bootloader(h.line, box);
    prepare_dsp(h, 40 * 1024);
    h.platform.at(c.at_ms, [&] { c.action(h); });

    cm1_Click(h.ctx);

    ASSERT_EQ(h.platform.messages.size(), 1u);
    EXPECT_EQ(h.platform.messages[0].first, std::string("mistake:\n") + c.detail);
    EXPECT_EQ(h.platform.messages[0].second, "Hmmmmm");
    // Stopped promptly, without waiting out a reply time-out.
    EXPECT_LE(h.platform.now_us() / 1000, c.at_ms + 30);
    EXPECT_FALSE(h.line.open);
    EXPECT_FALSE(h.ctx.upload_done);
    EXPECT_EQ(h.ctx.exchange, Exchange::none);
    EXPECT_TRUE(h.ctx.window.get("cm1").enabled);
    EXPECT_EQ(h.field(28, 12, 20), std::string(20, ' '));
}

INSTANTIATE_TEST_SUITE_P(
    Upload, UploadInterrupted,
    ::testing::Values(InterruptCase{"STOP between data blocks", 400,
                                    [](Harness& h) { click(h, "cm4"); }, "port closed"},
                      InterruptCase{"adapter unplugged between data blocks", 400,
                                    [](Harness& h) { h.line.lost = true; }, "port lost"},
                      InterruptCase{"STOP in the end exchange", 2000,
                                    [](Harness& h) { click(h, "cm4"); }, "port closed"}),
    [](const auto& info) { return test::case_name(info); });

TEST(UploadGuard, SecondPressInsideARunningUploadIsIgnored) {
    Harness h;
    prepare_dsp(h);
    // STOP enables "Upload to Box" again while the wait is still running.
    h.platform.at(2000, [&] {
        click(h, "cm4");
        click(h, "cm1");
    });
    cm1_Click(h.ctx);

    EXPECT_EQ(h.line.open_count, 1);
    EXPECT_TRUE(has_diag(h, "upload running"));
    EXPECT_EQ(log_texts(h).back(), "");
    EXPECT_EQ(h.ctx.exchange, Exchange::none);
    // Once the first upload has ended, the button works again.
    click(h, "cm1");
    EXPECT_EQ(h.line.open_count, 2);
}

TEST(UploadGuard, PressDuringADownloadStartsNothing) {
    Harness h;
    prepare_dsp(h);
    h.ctx.exchange = Exchange::download; // a download waits for its header
    click(h, "cm1");
    EXPECT_EQ(h.line.open_count, 0);
    EXPECT_TRUE(has_diag(h, "download running"));
}

struct RefusalCase {
    const char* name;
    std::string file;
    std::string data;
    std::string message;
    bool ready = true; // the data was prepared from the file
};

// A base name of `n` characters ending in ".dsp".
std::string dsp_named(std::size_t n) {
    return "/fw/" + std::string(n - 4, 'n') + ".dsp";
}

TEST(UploadGuard, PayloadsThatCannotBeSentAreRefusedBeforeThePortOpens) {
    const RefusalCase cases[] = {
        {"one byte over the stream table", dsp_file, std::string(2093056, 'x'),
         "The file is too big for one upload: 2093056 bytes, at most 2093055."},
        {"a picture that was never wrapped", "/p/logo.jpg", "\xFF\xD8\xFF\xE0 raw jpg",
         "The picture /p/logo.jpg is not prepared for the welcome screen; select a picture that "
         "fits."},
        {"a picture refused at preparation", "/p/big.JPG", "",
         "The picture /p/big.JPG is not prepared for the welcome screen; select a picture that "
         "fits."},
        // 123 + 0x00 + "3000" + 0x00 is 129 bytes: block 0 would announce 300.
        {"a name that leaves no room for the size", dsp_named(123), std::string(3000, 'x'),
         "The file name is too long for one upload: 123 bytes, at most 122 leave room for the "
         "size in the first block. Rename the file " +
             dsp_named(123).substr(4) + "."},
        {"an earlier file's bytes after a file that could not be read", dsp_file, "old firmware",
         "The file /data/fw/a.dsp could not be prepared; select a readable file.", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h;
        h.ctx.trace_on = true;
        h.ctx.quit_after_upload = true; // as in the automatic start
        h.ctx.upload_done = true;       // from an earlier upload
        h.ctx.upload_file = c.file;
        h.ctx.upload_data = c.data;
        h.ctx.upload_ready = c.ready;
        cm1_Click(h.ctx);

        ASSERT_EQ(h.platform.messages.size(), 1u);
        EXPECT_EQ(h.platform.messages[0].first, c.message);
        EXPECT_EQ(h.platform.messages[0].second, "VELK2");
        EXPECT_EQ(h.line.open_count, 0);
        EXPECT_TRUE(h.line.writes.empty());
        EXPECT_FALSE(test::exists(h.ctx.work_dir + "inp_1.dat"));
        EXPECT_FALSE(h.ctx.upload_done);
        EXPECT_EQ(h.ctx.exchange, Exchange::none);
        EXPECT_TRUE(h.ctx.quit_requested);
    }
}

TEST(UploadGuard, LargestPayloadFillsTheStreamTable) {
    Harness h;
    BootloaderScript box;
    box.hello = {{"230400", 100, "C"}};
    test::play_bootloader(h.line, box);
    prepare_dsp(h, stream_max_payload);
    cm1_Click(h.ctx);

    EXPECT_TRUE(h.ctx.upload_done);
    EXPECT_TRUE(h.platform.messages.empty());
    ASSERT_EQ(h.line.writes.size(), 1u + 2044 + 3);
    const std::string& last = h.line.writes[2044].bytes;
    EXPECT_EQ(static_cast<unsigned char>(last[1]), 2044 % 256);
    EXPECT_EQ(h.field(62, 12, 7), std::to_string(2044 * 1024));
}

// ------------------------------------------------------------ routing

struct RouteCase {
    const char* name;
    std::string file;
    std::string data;
    bool streams;
};

TEST(UploadRoute, ByTheLastThreeLettersOfTheFile) {
    const RouteCase cases[] = {
        {"dsp in lower case", "/fw/image.dsp", "firmware", true},
        {"wrapped picture, jpg in lower case", "/pics/logo.jpg", wrap_jpg("\xFF\xD8 tiny"), true},
        {"the longest name that leaves room for the size", dsp_named(122), std::string(3000, 'x'),
         true},
        {"anything else", "/docs/notes.txt", "text", false},
        {"no file", "", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h;
        BootloaderScript box;
        box.hello = {{"230400", 100, "C"}};
        test::play_bootloader(h.line, box);
        h.ctx.upload_file = c.file;
        h.ctx.upload_data = c.data;
        cm1_Click(h.ctx);

        EXPECT_EQ(h.ctx.window.title, "Tarnwick upload PC to box");
        EXPECT_TRUE(h.platform.messages.empty());
        if (c.streams) {
            EXPECT_EQ(h.line.written(), letstream(c.data, c.file).stream_buf);
            EXPECT_TRUE(h.ctx.upload_done);
        } else {
            EXPECT_EQ(h.line.open_count, 0);
            EXPECT_TRUE(h.platform.settings.empty());
            EXPECT_EQ(log_texts(h), std::vector<std::string>{});
        }
    }
}

TEST(UploadRoute, BinFileTestsThePortAt38400First) {
    Harness h;
    std::vector<std::string> opens;
    h.line.on_open = [&](HeadlessLine& l) { opens.push_back(l.baud); };
    h.ctx.upload_file = "/svc/loader.bin";
    h.ctx.upload_data = "service image";
    cm1_Click(h.ctx);

    ASSERT_FALSE(opens.empty());
    EXPECT_EQ(opens.front(), "38400");
    for (const auto& w : h.line.writes) EXPECT_NE(w.bytes.size(), block0_size);
    EXPECT_EQ(h.ctx.exchange, Exchange::none);
}

TEST(UploadRoute, BinFileWhosePortTestFailsGoesNoFurther) {
    Harness h;
    h.ctx.trace_on = true;
    h.line.refuse_open = true;
    h.ctx.upload_file = "/svc/loader.BIN";
    cm1_Click(h.ctx);

    // The one port test and nothing after it.
    EXPECT_EQ(test::read_file(h.ctx.work_dir + "inp_1.dat"),
              "<A> Open-I-> " + hex_bytes("COM1:38400,n,8,1 ") + "\r\n");
}

TEST(UploadRoute, PressWithThePortOpenOnlyClosesIt) {
    Harness h;
    prepare_dsp(h);
    ASSERT_TRUE(port_open(h.ctx, "230400"));
    cm1_Click(h.ctx);

    EXPECT_FALSE(h.line.open);
    EXPECT_EQ(h.line.open_count, 1);
    EXPECT_TRUE(h.line.writes.empty());
    EXPECT_EQ(h.field(28, 11, 13), "COM1 (CLOSED)");
    EXPECT_TRUE(h.platform.read_setting("LAST", "UPFILE").empty());
}

TEST(UploadRoute, AutomaticStartReportsEachUploadsOutcome) {
    Harness h;
    h.ctx.quit_after_upload = true;
    prepare_dsp(h);
    BootloaderScript willing;
    willing.hello = {{"230400", 100, "C"}};
    test::play_bootloader(h.line, willing);
    cm1_Click(h.ctx);
    EXPECT_TRUE(h.ctx.upload_done);
    EXPECT_TRUE(h.ctx.quit_requested);

    BootloaderScript silent;
    test::play_bootloader(h.line, silent);
    h.ctx.quit_requested = false;
    cm1_Click(h.ctx);
    EXPECT_FALSE(h.ctx.upload_done);
    EXPECT_TRUE(h.ctx.quit_requested);
}

} // namespace
} // namespace velk2
