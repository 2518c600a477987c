// The settings store round-trips every byte text through the INI file that
// several copies of the program share.
#include <QSettings>
#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

#include "platform/qt/qt_platform.h"
#include "qt_test_app.h"

namespace velk2 {
namespace {

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class QtSettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
        file = dir.filePath("VELK2.ini").toStdString();
    }
    QTemporaryDir dir;
    std::string file;
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
        {"DIR", "DIR", ""},
        {"LAST", "Port", "lower-case key is another key"},
    };
    for (const auto& c : cases) platform.store_setting(c.section, c.key, c.value);
    for (const auto& c : cases)
        EXPECT_EQ(platform.read_setting(c.section, c.key), c.value) << c.section << "/" << c.key;
    EXPECT_EQ(platform.read_setting("LAST", "NONE"), "");
    EXPECT_EQ(platform.read_setting("DIR", "PORT"), "");

    const std::string ini = read_file(file);
    EXPECT_NE(ini.find("[LAST]"), std::string::npos) << ini;
    EXPECT_NE(ini.find("[DIR]"), std::string::npos) << ini;
    EXPECT_NE(ini.find("\nPORT=COM7\n"), std::string::npos) << ini;
}

TEST_F(QtSettingsTest, StoreIsOnDiskAtOnceAndReadsSeeOtherCopies) {
    platform.store_setting("LAST", "PORT", "COM3");
    EXPECT_NE(read_file(file).find("PORT=COM3"), std::string::npos);
    EXPECT_EQ(platform.read_setting("LAST", "PORT"), "COM3");

    // Another copy of the program rewrites the file.
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        << "[LAST]\nPORT=COM12\nALL=/tmp/other.dsp\n";
    EXPECT_EQ(platform.read_setting("LAST", "PORT"), "COM12");
    EXPECT_EQ(platform.read_setting("LAST", "ALL"), "/tmp/other.dsp");
}

} // namespace
} // namespace velk2
