#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <stdexcept>

#include <sys/stat.h>

#include "shell/startup.h"
#include "support/harness.h"

namespace velk2 {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

struct Started {
    TempDir dir;
    HeadlessPlatform platform;
    Context ctx{platform};
    int status = -1;

    Started(std::string program_name, std::vector<std::string> args,
            std::map<std::pair<std::string, std::string>, std::string> settings = {}) {
        platform.settings = std::move(settings);
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
};

struct NameCase {
    const char* program;
    std::vector<std::string> args;
    const char* stored_port;
    const char* com_port;
    const char* upload_file; // relative to the test directory, or as given
    bool stores_port_and_all;
};

TEST(Startup, PortAndUploadFileFromNameArgumentAndSettings) {
    const NameCase cases[] = {
        {"VELK_(COM7).Exe", {}, "", "COM7", "", true},
        {"VELK_(COM7).Exe", {}, "COM4", "COM7", "", true},
        // Parentheses in a folder name: the port comes from the file name.
        {"Program Files (x86)|VELK_(COM7).Exe", {}, "", "COM7", "", true},
        {"VELK_().EXE", {"x"}, "COM4", "COM4", "", true},
        {"VELK_().EXE", {"x"}, "", "COM1", "", true},
        {"VELK_(com5).exe", {}, "", "com5", "", true},
        {"VELK_(COM3)(DBG2).exe", {}, "", "COM3", "", true},
        {"VELK_(COM7).Exe", {"(COM3)"}, "", "COM3", "", true},
        // A file in braces that does not exist falls back to the stored "ALL".
        {"VELK_(COM7).Exe", {"(COM3){/a.dsp}"}, "", "COM3", "", false},
        // An existing file path as the argument: port only from "(COM" in the name.
        {"VELK_(com5).exe", {"@file.dsp"}, "COM6", "COM6", "@file.dsp", false},
        {"velk2", {"@file.dsp"}, "", "COM1", "@file.dsp", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.program) + " " + (c.args.empty() ? "" : c.args[0]));
        Started r(c.program, {}, {{{"LAST", "PORT"}, c.stored_port}});
        test::write_file(r.dir / "file.dsp", "DSPDATA");
        for (auto a : c.args) {
            if (a == "@file.dsp") a = r.dir / "file.dsp";
            r.ctx.process.args.push_back(a);
        }
        r.start();
        EXPECT_EQ(r.ctx.com_port, c.com_port);
        std::string expected_file = c.upload_file;
        if (expected_file == "@file.dsp") expected_file = r.dir / "file.dsp";
        EXPECT_EQ(r.ctx.upload_file, expected_file);
        if (c.stores_port_and_all) {
            EXPECT_EQ(r.setting("PORT"), c.com_port);
            EXPECT_EQ(r.setting("ALL"), expected_file);
        }
        EXPECT_EQ(r.status, 0);
    }
}

TEST(Startup, SwitchesAnywhereInTheProgramPath) {
    const std::tuple<const char*, bool, bool> cases[] = {
        {"VELK_(COM3).exe", false, false},
        {"VELK_(COM3)(DBG2).exe", true, false},
        {"VELK_(COM3)(dbgdsp)(DBG2).exe", true, true},
        {"(DBG2)/VELK_(COM3).exe", true, false},
    };
    for (auto [name, trace, debug] : cases) {
        SCOPED_TRACE(name);
        Started r(name, {});
        r.start();
        EXPECT_EQ(r.ctx.trace_on, trace);
        EXPECT_EQ(r.ctx.upload_debug, debug);
    }
}

TEST(Startup, ArgumentOfTenCharactersStoresElevenStartsATransfer) {
    // Ten characters: stored, no automatic transfer.
    {
        Started r("VELK_(COM2).exe", {"(COM2){/x}"});
        auto& line = r.platform.add_line("COM2");
        r.start();
        EXPECT_EQ(r.ctx.cmd_arg.size(), 10u);
        EXPECT_EQ(line.open_count, 0);
        EXPECT_EQ(r.setting("PORT"), "COM2");
    }
    // Eleven characters naming an existing DSP file: the port is tested at
    // 115200 and the upload starts unattended; nothing is stored.
    {
        Started r("VELK_(COM2).exe", {});
        test::write_file(r.dir / "a.dsp", "1234");
        r.ctx.process.args = {"(COM2){" + (r.dir / "a.dsp") + "}"};
        auto& line = r.platform.add_line("COM2");
        r.start();
        EXPECT_GT(r.ctx.cmd_arg.size(), 10u);
        EXPECT_GE(line.open_count, 1);
        EXPECT_TRUE(r.ctx.quit_after_upload);
        EXPECT_FALSE(r.ctx.save_last_file);
        EXPECT_EQ(r.setting("PORT"), "");
    }
}

TEST(Startup, AutomaticUploadWhosePortTestFailsStaysInteractive) {
    Started r("VELK_(COM2).exe", {});
    test::write_file(r.dir / "a.dsp", "1234");
    r.ctx.process.args = {r.dir / "a.dsp"}; // no line COM2: the test fails
    r.start();
    EXPECT_FALSE(r.ctx.quit_after_upload);
    EXPECT_TRUE(r.ctx.save_last_file);
    EXPECT_TRUE(r.ctx.window.get("cm1").enabled);
    EXPECT_EQ(r.status, 0);
}

struct AutoCase {
    const char* name;
    std::function<std::string(Started&)> file; // makes the named file, returns its path
    int status;
    int opens;
    std::string diag_start; // "@" stands for the file's path
};

// The automatic start sends the named file faithfully or not at all, and says
// why when it does not.
TEST(Startup, AutomaticStartSendsTheNamedFileOrSaysWhyNot) {
    const auto at = [](const char* name, std::function<void(const std::string&)> make) {
        return [name, make](Started& r) {
            const std::string path = r.dir / name;
            if (make) make(path);
            return path;
        };
    };
    const auto bytes = [](std::size_t n) {
        return [n](const std::string& p) { test::write_file(p, std::string(n, 'x')); };
    };
    const AutoCase cases[] = {
#ifndef _WIN32
        {"a FIFO is never opened",
         at("b.dsp", [](const std::string& p) { mkfifo(p.c_str(), 0600); }), 1, 0,
         "Cannot read the file @: it is not a regular file"},
#endif
        {"a folder", at("b.dsp", [](const std::string& p) { fs::create_directory(p); }), 1, 0,
         "Cannot read the file @: it is a folder"},
        {"a name with no room for the size",
         at("nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn"
            "nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn"
            "nnnnnnnnnnnnnnnnnnnnnnnnnnn.dsp",
            bytes(3000)),
         1, 0, "The file name is too long for one upload: 127 bytes"},
        {"too big for one upload: refused before a byte is read",
         at("big.dsp",
            [](const std::string& p) { test::write_file(p, ""), fs::resize_file(p, 4ull << 30); }),
         1, 0, "The file is too big for one upload: 4294967296 bytes, at most 2093055."},
        {"a missing file: never the stored one instead", at("gone.dsp", nullptr), 0, 0,
         "automatic start: @: No such file or directory"},
        {"a port that does not open", at("a.dsp", bytes(10)), 0, 0,
         "COM2 COM2 did not open: Device or resource busy"},
        {"an error while the port is tested", at("a.dsp", bytes(10)), 1, 1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Started r("VELK_(COM2).exe", {});
        test::write_file(r.dir / "stored.dsp", "STORED FIRMWARE");
        r.platform.settings[{"LAST", "ALL"}] = r.dir / "stored.dsp";
        const std::string path = c.file(r);
        r.ctx.process.args = {"(COM2){" + path + "}"};
        auto& line = r.platform.add_line("COM2");
        line.refuse_open = std::string(c.name) == "a port that does not open";
        if (c.opens) line.on_open = [](HeadlessLine&) { throw std::runtime_error("box fault"); };
        r.start();
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(line.open_count, c.opens);
        EXPECT_TRUE(line.writes.empty());
        if (!c.diag_start.empty()) {
            std::string expected = c.diag_start;
            if (auto at_sign = expected.find('@'); at_sign != std::string::npos)
                expected.replace(at_sign, 1, path);
            const auto& d = r.platform.diag_lines;
            EXPECT_TRUE(std::any_of(d.begin(), d.end(), [&](const std::string& l) {
                return l.starts_with(expected);
            })) << expected;
        }
    }
}

TEST(Startup, DevelopmentEnvironmentTakesTheLastUploadAndStoresNothing) {
    Started r("VELK_(COM2).exe", {"(COM2){/tmp/proj.G32}"});
    test::write_file(r.dir / "last.dsp", "abc");
    r.platform.settings[{"LAST", "UPFILE"}] = r.dir / "last.dsp";
    r.start();
    EXPECT_EQ(r.ctx.upload_file, r.dir / "last.dsp");
    EXPECT_FALSE(r.ctx.save_last_file);
    EXPECT_EQ(r.setting("PORT"), "");
    EXPECT_EQ(r.ctx.upload_data, "abc");
}

TEST(Startup, WindowAndPanelAfterStart) {
    Started r("VELK_(COM7).Exe", {});
    r.start();
    const Window& w = r.ctx.window;
    EXPECT_EQ(w.title, main_title());
    EXPECT_EQ(w.text, "(Veveroduzir upload[to box] download[from box] )");
    EXPECT_EQ(w.width_twips, 12000);
    EXPECT_EQ(w.height_twips, 3225);
    EXPECT_EQ(w.row_text(8, 2, 41), "Exe filename            : VELK_(COM7).Exe");
    EXPECT_EQ(w.row_text(11, 2, 30), "Communication parameters: COM7");
    EXPECT_EQ(w.row_text(12, 49, 12), "Upload size:");
    EXPECT_EQ(w.row_text(12, 70, 20), "         Filelenght:");
    EXPECT_TRUE(w.cell(2, 8).emphasis);
    EXPECT_FALSE(w.cell(28, 8).emphasis);
    EXPECT_EQ(r.ctx.com_number, 7);
    EXPECT_FALSE(w.find("cm1")->enabled);
    EXPECT_FALSE(w.find("cm4")->enabled);
    EXPECT_TRUE(w.find("cg1")->enabled);
    EXPECT_EQ(w.find("speed")->value, 1);
    // The start-up timers have run out by the time nothing else can happen.
    for (const char* t : {"tmrR1", "tmrR2", "tmrR3", "tmrR4"}) EXPECT_FALSE(w.find(t)->on) << t;
}

TEST(Startup, ActivationRedrawsThePanelWithThePortInUse) {
    Started r("VELK_(COM7).Exe", {"(COM3)"});
    r.start();
    Window& w = r.ctx.window;
    grid_locate(w, 91, 12);
    grid_print(w, "1024");
    ASSERT_TRUE(w.on_activate);
    w.on_activate();
    EXPECT_EQ(w.row_text(11, 28, 5), "COM3 ");
    EXPECT_EQ(w.row_text(12, 91, 9), std::string(9, ' '));
    EXPECT_EQ(r.ctx.com_number, 3);
}

TEST(Startup, SelfCopyNeedsTheDistributedNameAndNoArguments) {
    for (const char* name : {"VELK_().EXE", "velk_().exe"}) {
        SCOPED_TRACE(name);
        Started r(name, {});
        r.platform.add_line("COM1");
        r.platform.add_line("COM3");
        test::write_file(r.dir / "VELK_(COM2).exe", "stale");
        r.start();
        EXPECT_EQ(test::read_file(r.dir / "fi1.dat"), r.ctx.process.program_path);
        EXPECT_EQ(test::read_file(r.dir / "VELK_(COM1).exe"), "#!program bytes\n");
        EXPECT_EQ(test::read_file(r.dir / "VELK_(COM3).exe"), "#!program bytes\n");
        EXPECT_FALSE(test::exists(r.dir / "VELK_(COM2).exe"));
        EXPECT_FALSE(r.ctx.window.exists);
    }
    // A short argument skips the check.
    Started r("VELK_().EXE", {"(COM3)"});
    r.platform.add_line("COM3");
    r.start();
    EXPECT_FALSE(test::exists(r.dir / "VELK_(COM3).exe"));
}

TEST(Startup, CloseBoxClosesThePortAndEndsTheMainLoop) {
    Started r("VELK_(COM7).Exe", {});
    r.platform.at(50, [&] { r.ctx.window.on_close(); });
    r.start();
    EXPECT_TRUE(r.ctx.quit_requested);
    EXPECT_FALSE(r.ctx.window.exists);
    const auto& d = r.platform.diag_lines;
    auto pos = [&](const char* s) { return std::find(d.begin(), d.end(), s) - d.begin(); };
    EXPECT_LT(pos("do main"), pos("close 1"));
    EXPECT_LT(pos("close 3"), pos("exit 1"));
    EXPECT_LT(pos("exit 2"), pos("exit"));
    EXPECT_EQ(d.back(), "exit");
}

TEST(Startup, ErrorInAHandlerEndsInTheFinalHandler) {
    Started r("VELK_(COM7).Exe", {});
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
