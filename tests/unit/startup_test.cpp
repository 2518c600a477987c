#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <stdexcept>

#include <sys/stat.h>

#include "scripted_bootloader.h"
#include "shell/startup.h"
#include "support/harness.h"

namespace velk2 {
namespace {

namespace fs = std::filesystem;

// The whole program started as `bin/<program_name>` in a fresh directory.
struct Started {
    test::TempDir dir;
    HeadlessPlatform platform;
    Context ctx{platform};
    int status = -1;

    explicit Started(std::string program_name, std::vector<std::string> args = {}) {
        // The program's path as the system gives it, in its own separators;
        // "|" in the name stands for one.
        std::replace(program_name.begin(), program_name.end(), '|', folder_separator);
        ctx.process.program_path = dir / "bin" + folder_separator + program_name;
        fs::create_directories(os_path(ctx.process.program_path).parent_path());
        test::write_file(ctx.process.program_path, "#!program bytes\n");
        ctx.process.args = std::move(args);
        ctx.process.current_dir = dir.path();
    }
    void start() { status = run_program(ctx); }
    std::string setting(const char* key) { return platform.read_setting("LAST", key); }
    bool has_diag_starting(const std::string& start) const {
        const auto& d = platform.diag_lines;
        return std::any_of(d.begin(), d.end(), [&](const auto& l) { return l.starts_with(start); });
    }
};

TEST(Startup, PortUploadFileAndSwitchesFromNameArgumentAndSettings) {
    // "@" stands for an existing file in a folder whose name holds another port.
    const struct {
        const char* program;
        const char* arg; // nullptr: none
        const char* stored_port;
        const char* com_port;
        const char* upload_file;
        bool stores_port_and_all;
        bool trace = false, debug = false;
        int status = 0;
    } cases[] = {
        // clang-format off
        {"VELK_(COM7).Exe", nullptr, "", "COM7", "", true},
        {"VELK_(COM7).Exe", nullptr, "COM4", "COM7", "", true},
        {"VELK_().EXE", "x", "COM4", "COM4", "", true}, // no self-copy with an argument
        {"VELK_().EXE", "x", "", "COM1", "", true},
        {"VELK_(com5).exe", nullptr, "", "com5", "", true},
        {"VELK_(COM3)(DBG2).exe", nullptr, "", "COM3", "", true, true},
        {"VELK_(COM3)(dbgdsp)(DBG2).exe", nullptr, "", "COM3", "", true, true, true},
        {"(DBG2)|VELK_(COM3).exe", nullptr, "", "COM3", "", true, true},
        // Parentheses in a folder name: the port comes from the file name.
        {"Program Files (x86)|VELK_(COM7).Exe", nullptr, "", "COM7", "", true},
        {"VELK_(COM7).Exe", "(COM3)", "", "COM3", "", true},
        // Ten characters are kept, and a file that does not exist falls back to
        // the stored "ALL"; from eleven on the file in braces is sent at once,
        // and one that does not exist is refused: the run exits 1.
        {"VELK_(COM7).Exe", "(COM3){/a}", "", "COM3", "", true},
        {"VELK_(COM7).Exe", "(COM3){/ab}", "", "COM3", "/ab", false, false, false, 1},
        // From the development environment: the last upload again.
        {"VELK_(COM2).exe", "(COM2){/tmp/proj.G32}", "COM6", "COM2", "@", false},
        // An existing file path as the argument: the port only from "(COM" in
        // the program's name. None of these ports opens: exit 1.
        {"VELK_(COM5).exe", "@", "COM6", "COM5", "@", false, false, false, 1},
        {"VELK_(com5).exe", "@", "COM6", "COM6", "@", false, false, false, 1},
        {"velk2", "@", "", "COM1", "@", false, false, false, 1},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.program) + " " + (c.arg ? c.arg : ""));
        Started r(c.program);
        const HeadlessLine& com3 = r.platform.add_line("COM3");
        fs::create_directory(r.dir / "(COM2)");
        const std::string file = r.dir / "(COM2)/file.dsp";
        test::write_file(file, "DSPDATA");
        r.platform.settings = {{{"LAST", "PORT"}, c.stored_port}, {{"LAST", "UPFILE"}, file}};
        const auto at_file = [&](const char* s) { return std::string(s) == "@" ? file : s; };
        if (c.arg) r.ctx.process.args = {at_file(c.arg)};
        r.start();
        EXPECT_EQ(r.ctx.com_port, c.com_port);
        EXPECT_EQ(r.ctx.upload_file, at_file(c.upload_file));
        EXPECT_EQ(r.setting("PORT"), c.stores_port_and_all ? c.com_port : c.stored_port);
        EXPECT_EQ(r.setting("ALL"), c.stores_port_and_all ? at_file(c.upload_file) : "");
        EXPECT_EQ(r.ctx.trace_on, c.trace);
        EXPECT_EQ(r.ctx.upload_debug, c.debug);
        EXPECT_EQ(com3.open_count, 0); // no port test, no self-copy
        EXPECT_EQ(r.status, c.status);
    }
}

// The automatic start sends the named file faithfully or not at all, says
// why when it does not (naming the file), leaves nothing else ready to flash
// in its place, and tells a script by exit status 1.
TEST(Startup, AutomaticStartSendsTheNamedFileOrSaysWhyNot) {
    const auto bytes = [](std::size_t n) {
        return [n](const std::string& p) { test::write_file(p, std::string(n, 'x')); };
    };
    const struct {
        const char* name;
        const char* file;
        std::function<void(const std::string&)> make; // nullptr: none
        std::string message;                          // "@" stands for the file's path
        bool ready = false;                           // the named file is ready to flash
        int opens = 0;
        bool whole_argument = false; // the path is the argument, not in braces
    } cases[] = {
#ifndef _WIN32
        {"a FIFO is never opened", "b.dsp", [](const std::string& p) { mkfifo(p.c_str(), 0600); },
         "Cannot read the file @: it is not a regular file"},
        {"a loop of links", "loop.dsp", [](const std::string& p) { fs::create_symlink(p, p); },
         "Cannot read the file @: Too many levels of symbolic links"},
#endif
        {"too big for one upload: refused before a byte is read", "big.dsp",
         [](const std::string& p) { test::write_file(p, ""), fs::resize_file(p, 4ull << 30); },
         "The file is too big for one upload: 4294967296 bytes, at most 2093055."},
        {"a missing file: never the stored one instead", "gone.dsp", nullptr,
         "Cannot read the file @: No such file or directory"},
        {"a missing file as the whole argument", "gone.dsp", nullptr,
         "Cannot read the file @: No such file or directory", false, 0, true},
        {"an empty file: the box would get an empty image", "empty.dsp", bytes(0),
         "The file @ is empty: there is nothing to upload."},
        {"a port that does not open", "a.dsp", bytes(10),
         "Nothing was uploaded: COM2 did not open for the automatic start of @.", true},
        {"an error while the port is tested", "a.dsp", bytes(10), "box fault", true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Started r("VELK_(COM2).exe");
        test::write_file(r.dir / "stored.dsp", "STORED FIRMWARE");
        r.platform.settings[{"LAST", "ALL"}] = r.dir / "stored.dsp";
        const std::string path = r.dir / c.file;
        if (c.make) c.make(path);
        r.ctx.process.args = {c.whole_argument ? path : "(COM2){" + path + "}"};
        auto& line = r.platform.add_line("COM2");
        line.refuse_open = std::string(c.name) == "a port that does not open";
        if (c.opens) line.on_open = [](HeadlessLine&) { throw std::runtime_error("box fault"); };
        r.start();
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(line.open_count, c.opens);
        EXPECT_TRUE(!c.opens || line.baud == "115200") << line.baud; // the port test's rate
        EXPECT_TRUE(line.writes.empty());
        EXPECT_FALSE(r.ctx.quit_after_upload);
        EXPECT_TRUE(r.ctx.save_last_file);
        std::string expected = c.message;
        if (auto at = expected.find('@'); at != std::string::npos) expected.replace(at, 1, path);
        EXPECT_EQ(r.platform.messages.empty() ? "" : r.platform.messages[0].first, expected);
        // The named file, ready or not; never the stored one in its place.
        EXPECT_EQ(r.ctx.upload_file, path);
        EXPECT_EQ(r.ctx.window.row_text(10, 28, int(path.size())), path);
        EXPECT_EQ(r.ctx.upload_ready, c.ready);
        EXPECT_EQ(r.ctx.upload_data, c.ready ? std::string(10, 'x') : "");
        EXPECT_TRUE(c.ready || !r.ctx.window.get("cm1").enabled);
    }
}

// A failed automatic start leaves the window to the technician (another file
// can be chosen and sent), or ends at once when nobody is there; either way
// the run exits 1 unless an upload of it ended "done".
TEST(Startup, FailedAutomaticStartExits1HoweverTheRunEnds) {
    const struct {
        const char* name;
        bool unattended;
        bool flash_another; // choose a file in the window and upload it
        int status;
    } cases[] = {
        {"window closed", false, false, 1},
        {"unattended: no window left open", true, false, 1},
        {"another file flashed from the window", false, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Started r("VELK_(COM2).exe", {"(COM2){" + std::string("/nonexistent/fw.dsp") + "}"});
        r.platform.unattended_mode = c.unattended;
        const std::string good = r.dir / "good.dsp";
        test::write_file(good, "GOOD FIRMWARE");
        auto& line = r.platform.add_line("COM2");
        test::BootloaderScript box;
        box.hello = {{"230400", 100, "C"}};
        test::play_bootloader(line, box);
        r.platform.file_answers = {good};
        if (c.flash_another)
            r.platform.at(100, [&] {
                r.ctx.window.get("cm2").on_click();
                r.ctx.window.get("cm1").on_click();
            });
        r.platform.at(10000, [&] { r.ctx.window.on_close(); });
        r.start();
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.has_diag_starting("do main"), !c.unattended);
        EXPECT_FALSE(r.ctx.window.exists);
        EXPECT_EQ(line.written().empty(), !c.flash_another);
    }
}

// The Windows main hands every argument to the run: an option we do not
// have is turned away there, before a window exists; a path is no option.
TEST(Startup, UnknownOptionPrintsTheUsageAndExits2) {
    const std::pair<std::vector<std::string>, int> cases[] = {
        {{"--foo"}, 2}, {{"--ports", "x"}, 0}, {{"-x"}, 0}, {{"(COM3)", "--foo"}, 0}};
    for (const auto& [args, status] : cases) {
        SCOPED_TRACE(args[0]);
        Started r("VELK_(COM7).Exe", args);
        r.start();
        EXPECT_EQ(r.status, status);
        EXPECT_EQ(r.has_diag_starting("velk2: unknown option --foo\nUsage: velk2"), status == 2);
        EXPECT_EQ(r.ctx.window.controls.empty(), status == 2);
    }
}

// Where the system keeps the command line whole (Windows), its quotes decide:
// only the first quoted text after a blank is the argument, an unquoted one
// is not read at all, and any text after the program's path, quoted or not,
// keeps the per-port copies from being written.
TEST(Startup, CommandLineAsTheSystemHoldsIt) {
    // In a line "@" stands for the program's path, "#" for an existing DSP file.
    const struct {
        const char* program;
        const char* line;
        const char* cmd_arg;
        const char* com_port;
        bool port_tested; // the automatic upload's port test
        bool copies;      // the per-port copies written
    } cases[] = {
        // clang-format off
        {"VELK_(COM7).exe", "@ \"#\"", "#", "COM7", true, false},
        {"VELK_(COM7).exe", "\"@\" \"#\"", "#", "COM7", true, false},
        // Dropped onto the program: the system quotes a path only when it has blanks.
        {"VELK_(COM7).exe", "\"@\" #", "", "COM7", false, false},
        {"VELK_(COM7).exe", "@ (COM3)", "", "COM7", false, false},
        {"VELK_(COM7).exe", "@ \"(COM3)\"", "(COM3)", "COM3", false, false},
        {"VELK_(COM7).exe", "@ \"(COM3)", "(COM3)", "COM3", false, false}, // no closing quote
        {"VELK_(COM7).exe", "@ x\"(COM3)\"", "", "COM7", false, false},
        {"VELK_(COM7).exe", "@\t\"(COM3)\"", "", "COM7", false, false},
        {"VELK_(COM7).exe", "@ \"\" \"(COM3)\"", "", "COM7", false, false},
        {"VELK_().EXE", "\"@\"", "", "COM1", false, true},
        {"VELK_().EXE", "@   ", "", "COM1", false, true},
        {"VELK_().EXE", "@ x", "", "COM1", false, false},
        {"VELK_().EXE", "\"@\" \"\"", "", "COM1", false, false},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.program) + " " + c.line);
        Started r(c.program);
        const std::string file = r.dir / "fw" + folder_separator + "firmware.dsp";
        fs::create_directories(os_path(r.dir / "fw"));
        test::write_file(file, "DSPDATA");
        const auto expand = [&](std::string text) {
            for (auto [mark, with] : {std::pair{'@', r.ctx.process.program_path}, {'#', file}})
                for (auto at = text.find(mark); at != std::string::npos; at = text.find(mark))
                    text.replace(at, 1, with);
            return text;
        };
        r.ctx.process.command_line = expand(c.line);
        // The port test of an automatic upload ends the run (status 1), so the
        // open count tells whether an upload was on its way. The per-port
        // copies find COM3 only.
        HeadlessLine* com7 = nullptr;
        if (std::string(c.program) == "VELK_(COM7).exe") {
            com7 = &r.platform.add_line("COM7");
            com7->on_open = [](HeadlessLine&) { throw std::runtime_error("box fault"); };
        }
        r.platform.add_line("COM3");
        // The copies go to the current directory; the test's own stays as it was.
        const fs::path before = fs::current_path();
        fs::current_path(os_path(r.dir.path()));
        r.start();
        fs::current_path(before);
        EXPECT_EQ(r.ctx.cmd_arg, expand(c.cmd_arg));
        EXPECT_EQ(r.ctx.com_port, c.com_port);
        EXPECT_EQ(com7 ? com7->open_count : 0, c.port_tested ? 1 : 0);
        EXPECT_EQ(r.status, c.port_tested ? 1 : 0);
        EXPECT_EQ(test::exists(r.dir / "VELK_(COM3).exe"), c.copies);
    }
}

TEST(Startup, WindowAndPanelAfterStartAndOnActivation) {
    Started r("VELK_(COM7).Exe", {"(COM3)"});
    r.platform.settings[{"LAST", "ALL"}] = "/fw/gone.dsp";
    r.start();
    Window& w = r.ctx.window;
    EXPECT_EQ(w.title, main_title());
    EXPECT_EQ(w.text, "(Veveroduzir upload[to box] download[from box] )");
    EXPECT_EQ(w.width_twips, 12000);
    EXPECT_EQ(w.height_twips, 3225);
    EXPECT_FALSE(w.find("cm1")->enabled);
    EXPECT_FALSE(w.find("cm4")->enabled);
    EXPECT_TRUE(w.find("cg1")->enabled);
    EXPECT_EQ(w.find("speed")->value, 1);
    // The start-up timers have run out by the time nothing else can happen.
    for (const char* t : {"tmrR1", "tmrR2", "tmrR3", "tmrR4"}) EXPECT_FALSE(w.find(t)->on) << t;

    grid_locate(w, 91, 12);
    grid_print(w, "1024"); // a length shown before
    ASSERT_TRUE(w.on_activate);
    w.on_activate();
    const std::pair<int, std::string> rows[] = {
        {8, "Exe filename            : VELK_(COM7).Exe "},
        {9, "Commandline   (_DOSCMD$): (COM3) "},
        {10, "upload filename         : /fw/gone.dsp "},
        {11, "Communication parameters: COM3 "},
        {12, "Upload information (LOG):                      Upload size:         "
             "         Filelenght:          "},
    };
    for (const auto& [row, text] : rows) EXPECT_EQ(w.row_text(row, 2, int(text.size())), text);
    EXPECT_TRUE(w.cell(2, 8).emphasis);
    EXPECT_FALSE(w.cell(28, 8).emphasis);
    EXPECT_EQ(r.ctx.com_number, 3);
}

TEST(Startup, CloseBoxClosesThePortAndEndsTheMainLoop) {
    Started r("VELK_(COM7).Exe");
    r.platform.at(50, [&] { r.ctx.window.on_close(); });
    r.start();
    EXPECT_TRUE(r.ctx.quit_requested);
    EXPECT_FALSE(r.ctx.window.exists);
    const auto& d = r.platform.diag_lines;
    EXPECT_EQ(std::vector<std::string>(d.end() - 7, d.end()),
              (std::vector<std::string>{"do main", "close 1", "close 2", "close 3", "exit 1",
                                        "exit 2", "exit"}));
}

TEST(Startup, ErrorInAHandlerEndsInTheFinalHandler) {
    Started r("VELK_(COM7).Exe");
    r.platform.at(50, [&] { throw std::runtime_error("disk on fire"); });
    r.start();
    ASSERT_FALSE(r.platform.messages.empty());
    EXPECT_EQ(r.platform.messages.back(),
              std::make_pair(std::string("disk on fire"), std::string("ERROR code")));
    EXPECT_EQ(r.setting("PORT"), "COM7");
    EXPECT_FALSE(r.ctx.window.exists);
}

} // namespace
} // namespace velk2
