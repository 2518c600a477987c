#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include <sys/stat.h>

#include "serial/port_connection.h"
#include "shell/file_selection.h"
#include "support/harness.h"
#include "upload/upload_driver.h"

namespace velk2 {
namespace {

namespace fs = std::filesystem;
using test::Harness;

struct RefusedCase {
    const char* name;
    std::function<void(const std::string& path)> make;
    std::string message; // "@" stands for the file's path
    bool remembered;     // the dialog's next start is this file
};

// A chosen file that cannot be uploaded leaves nothing of the file chosen
// before it ready to go out under its name, not even after STOP re-enables
// "Upload to Box".
TEST(FileSelection, AFileThatCannotBeUploadedLeavesNothingToSend) {
    const RefusedCase cases[] = {
#ifndef _WIN32
        {"a FIFO", [](const std::string& p) { mkfifo(p.c_str(), 0600); },
         "Cannot read the file @: it is not a regular file", false},
#endif
        {"a folder", [](const std::string& p) { fs::create_directory(p); },
         "Cannot read the file @: it is a folder", false},
        {"empty: the box would get an empty image",
         [](const std::string& p) { test::write_file(p, ""); },
         "The file @ is empty: there is nothing to upload.", true},
        {"bigger than one upload",
         [](const std::string& p) {
             test::write_file(p, "");
             fs::resize_file(p, 2093056);
         },
         "The file is too big for one upload: 2093056 bytes, at most 2093055.", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h;
        h.ctx.save_last_file = true;
        const std::string a = h.dir / "a.dsp", b = h.dir / "b.dsp";
        test::write_file(a, "FIRMWARE A");
        c.make(b);
        h.platform.file_answers = {a, b};
        h.ctx.window.get("cm2").on_click();
        ASSERT_TRUE(h.ctx.window.get("cm1").enabled);
        h.ctx.window.get("cm2").on_click();

        std::string message = c.message;
        if (auto at = message.find('@'); at != std::string::npos) message.replace(at, 1, b);
        ASSERT_EQ(h.platform.messages.size(), 1u);
        EXPECT_EQ(h.platform.messages[0].first, message);
        EXPECT_EQ(h.ctx.upload_file, b);
        EXPECT_TRUE(h.ctx.upload_data.empty());
        EXPECT_FALSE(h.ctx.window.get("cm1").enabled);
        EXPECT_EQ(h.field(91, 12, 9), std::string(9, ' '));
        EXPECT_EQ(h.platform.read_setting("LAST", "ALL"), a);
        EXPECT_EQ(h.platform.read_setting("LAST", "DSP"), c.remembered ? b : a);

        port_close(h.ctx); // STOP enables "Upload to Box" again
        h.ctx.window.get("cm1").on_click();
        EXPECT_EQ(h.line.open_count, 0);
        EXPECT_TRUE(h.line.writes.empty());
    }
}

// The JPG dialog's limit: what it refuses it says, and nothing changes.
TEST(FileSelection, JpgDialogSaysWhyItRefusesAPicture) {
    const struct {
        const char* name;
        long long size;      // -1: no file, -2: a folder
        std::string message; // "@" stands for the path; "" when taken
    } cases[] = {
        {"exactly 60000 bytes", 60000, ""},
        {"one byte over", 60001,
         "The picture @ is 60001 bytes: the welcome screen takes at most 60000."},
        {"missing", -1, "The picture @ cannot be used: No such file or directory."},
        {"a folder", -2, "The picture @ cannot be used: it is a folder."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h;
        const std::string fw = h.dir / "fw.dsp", pic = h.dir / "logo.jpg";
        test::write_file(fw, "firmware");
        if (c.size >= 0)
            test::write_file(pic, "\xFF\xD8" + std::string(std::size_t(c.size) - 2, 'p'));
        if (c.size == -2) fs::create_directory(pic);
        h.platform.file_answers = {fw, pic};
        h.ctx.window.get("cm2").on_click();
        h.ctx.window.get("cm3").on_click();
        std::string message = c.message;
        if (auto at = message.find('@'); at != std::string::npos) message.replace(at, 1, pic);
        const bool taken = message.empty();
        EXPECT_EQ(h.platform.messages, (taken ? decltype(h.platform.messages){}
                                              : decltype(h.platform.messages){{message, "VELK2"}}));
        EXPECT_EQ(h.ctx.upload_file, taken ? pic : fw);
        EXPECT_EQ(h.platform.read_setting("LAST", "JPG"), taken ? pic : "");
        EXPECT_TRUE(h.ctx.window.get("cm1").enabled);
    }
}

// The picture shows only in the tall window, and only when the file is one.
TEST(FileSelection, PictureShownOnlyForAPictureInTheTallWindow) {
    Harness h;
    const std::string logo = h.dir / "logo.jpg", fake = h.dir / "fake.jpg", fw = h.dir / "fw.dsp";
    test::write_file(logo, "\xFF\xD8\xFF\xE0 picture");
    test::write_file(fake, "no picture at all");
    test::write_file(fw, "firmware");
    const Control& im1 = h.ctx.window.get("im1");
    EXPECT_FALSE(im1.visible);
    const std::tuple<std::string, const char*, std::string, bool> steps[] = {
        {logo, "cm3", logo, true},
        {fw, "cm2", logo, false}, // still loaded, outside the short window
        {fake, "cm3", "", true},
    };
    for (const auto& [file, button, picture, visible] : steps) {
        SCOPED_TRACE(file);
        h.platform.file_answers = {file};
        h.ctx.window.get(button).on_click();
        EXPECT_EQ(im1.picture, picture);
        EXPECT_EQ(im1.visible, visible);
        EXPECT_EQ(h.ctx.window.height_twips, visible ? 15225 : 3225);
    }
}

} // namespace
} // namespace velk2
