#include "shell/app_filename.h"

#include <gtest/gtest.h>

namespace velk2 {
namespace {

TEST(AppFilename, DriveLetterPaths) {
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"\\\\server\\share\\VELK_().EXE", std::nullopt},
        {"VELK_().EXE", std::nullopt},
        {":\\x\\VELK_().EXE", std::nullopt},
        {"C:\\a.b\\VELK_().v2.EXE", "C:\\a.b\\VELK_().v2.EXE"},
        {"C:\\x\\VELK_().EXE\"", "C:\\x\\VELK_().EXE\""}, // already plain: unchanged
        {"\\\\?\\C:\\x\\VELK_().EXE\"", "C:\\x\\VELK_().EXE"},
        {"\"C:\\x\\VELK_(COM7).Exe\" -y", "C:\\x\\VELK_(COM7).Exe"},
        {"\"C:\\x\\noext", "C:\\x\\noext"},
        {"\"C:\\x\\a.b", "C:\\x\\a.b"},
    };
    for (const auto& [path, result] : cases) EXPECT_EQ(app_filename3_text(path), result) << path;
}

TEST(AppFilename, PosixPaths) {
    EXPECT_EQ(app_filename3_posix("/opt/velk/VELK_().EXE"), "/opt/velk/VELK_().EXE");
    EXPECT_EQ(app_filename3_posix("velk/VELK_().EXE"), std::nullopt);
    EXPECT_EQ(app_filename3_posix(""), std::nullopt);
}

} // namespace
} // namespace velk2
