// The settings store round-trips every byte text through the INI file that
// several copies of the program share, and reads a file edited by hand as it
// was written.
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "platform/qt/qt_platform.h"
#include "qt_test_app.h"

namespace velk2 {
namespace {

using test::read_file;

class QtSettingsTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QTemporaryDir dir;
    test::ScopedEnv config_home{"XDG_CONFIG_HOME", dir.path().toUtf8().constData()};
    std::string file = dir.filePath("VELK2.ini").toStdString();
    QtPlatform platform;
};

TEST_F(QtSettingsTest, ValuesComeBackByteForByte) {
    struct {
        const char* section;
        const char* key;
        std::string value;
    } const cases[] = {
        {"LAST", "PORT", "COM7"},
        {"LAST", "ALL", "/home/user/fw files/a.DSP"},
        {"LAST", "DSP", "/data/a, b; c=d.dsp"},
        {"LAST", "JPG", "\"quoted\" \\back\\slash"},
        {"LAST", "BIN", "/m\xC3\xBCll/x.bin"}, // UTF-8
        {"LAST", "UPFILE", "/m\xFCll/x.dsp"},  // not UTF-8
        {"LAST", "DOWN", "@ByteArray(x)"},
        {"LAST", "LINES", "two\r\nlines\\n\n"},
        {"LAST", "CR", "x\r"},
        {"DIR", "QUOTED", "\"@ByteArray(y)\""},
        {"DIR", "DIR", ""},
        {"LAST", "Port", "lower-case key is another key"},
    };
    for (const auto& c : cases) platform.store_setting(c.section, c.key, c.value);
    for (const auto& c : cases)
        EXPECT_EQ(platform.read_setting(c.section, c.key), c.value) << c.section << "/" << c.key;
    EXPECT_EQ(platform.read_setting("LAST", "NONE"), "");
    EXPECT_EQ(platform.read_setting("DIR", "PORT"), "");

    const std::string ini = read_file(file);
    for (const char* line : {"[LAST]\n", "[DIR]\n", "\nPORT=COM7\n", "\nDSP=/data/a, b; c=d.dsp\n",
                             "\nJPG=\"quoted\" \\back\\slash\n"})
        EXPECT_NE(ini.find(line), std::string::npos) << line << " in\n" << ini;
}

// Written by hand or by another copy of the program after this one stored.
TEST_F(QtSettingsTest, HandWrittenFileReadsAsWrittenAndAStoreKeepsEveryLine) {
    platform.store_setting("LAST", "PORT", "COM12");
    ASSERT_EQ(platform.read_setting("LAST", "PORT"), "COM12");
    test::write_file(
        file, "\xEF\xBB\xBF; bench PC\r\n[DIR]\r\n# fuji = by hand\r\nDIR=/data/fuji,backup/\r\n"
              "old/DIR=/data/old\r\n[LAST]\n"
              "ALL=/data/a;b/\nDSP=/data/x\\\nBIN=/data/y.bin\nno key here\n=no key\na/b=c\n"
              "PORT=COM3\nPORT=COM9\n"
              "UPFILE=@ByteArray(/m\\xfcll/x.dsp)\nJPG=\"@ByteArray(/m\\xfc\\x31ll/a,b.jpg)\"\n");
    struct {
        const char* section;
        const char* key;
        std::string value;
    } const cases[] = {
        {"DIR", "DIR", "/data/fuji,backup/"},
        {"LAST", "ALL", "/data/a;b/"},
        {"LAST", "DSP", "/data/x\\"},
        {"LAST", "BIN", "/data/y.bin"},
        {"LAST", "PORT", "COM3"},
        // The form older versions wrote for bytes that are not UTF-8.
        {"LAST", "UPFILE", "/m\xFCll/x.dsp"},
        {"LAST", "JPG",
         "/m\xFC"
         "1ll/a,b.jpg"},
    };
    ::testing::internal::CaptureStderr();
    for (const char* when : {"as written", "after a store"}) {
        for (const auto& c : cases)
            EXPECT_EQ(platform.read_setting(c.section, c.key), c.value) << c.key << ", " << when;
        platform.store_setting("LAST", "DOWN", "/data/down.DSP");
    }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    // Every line the store does not read stays in its own group, in the
    // order it came, and no group is made up from a key's "/".
    const std::string ini = read_file(file);
    const std::pair<std::string, std::vector<std::string>> kept[] = {
        {"", {"; bench PC"}},
        {"[DIR]", {"# fuji = by hand", "old/DIR=/data/old"}},
        {"[LAST]", {"no key here", "=no key", "a/b=c", "PORT=COM9"}},
    };
    std::map<std::string, std::vector<std::string>> groups; // header, lines
    std::string header;
    for (std::size_t at = 0; at < ini.size();) {
        const std::size_t end = std::min(ini.find('\n', at), ini.size());
        const std::string line = ini.substr(at, end - at);
        at = end + 1;
        if (line.starts_with("["))
            groups[header = line];
        else if (!line.empty())
            groups[header].push_back(line);
    }
    EXPECT_EQ(groups.size(), std::size(kept)) << ini;
    for (const auto& [group, lines] : kept) {
        std::vector<std::string> found;
        for (const auto& l : groups[group])
            if (std::find(lines.begin(), lines.end(), l) != lines.end()) found.push_back(l);
        EXPECT_EQ(found, lines) << group << " in\n" << ini;
    }
}

TEST_F(QtSettingsTest, SomethingElseThanAFileAtItsPathIsNeverOpened) {
    ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
    // Ends any read that blocks on the FIFO, so that a fault fails instead of hanging.
    std::atomic<bool> done = false;
    std::thread unblock([&] {
        while (!done) {
            if (int fd = open(file.c_str(), O_WRONLY | O_NONBLOCK); fd >= 0) close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(platform.read_setting("LAST", "PORT"), "");
    platform.store_setting("LAST", "PORT", "COM3");
    EXPECT_EQ(platform.read_setting("LAST", "PORT"), "");
    const std::string err = ::testing::internal::GetCapturedStderr();
    done = true;
    unblock.join();
    EXPECT_TRUE(std::filesystem::is_fifo(file));
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find(file), std::string::npos) << err;
}

} // namespace
} // namespace velk2
