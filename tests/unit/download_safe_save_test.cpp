#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

#include "download/safe_save.h"
#include "support/harness.h"

namespace velk2 {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

std::vector<std::string> names_in(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(SafeSave, WritesExactlyTheBytesAndLeavesNothingElse) {
    const std::pair<const char*, std::string> cases[] = {
        {"new file", std::string("A\0B\x1A", 4)},
        {"shorter than the earlier file", "xy"},
        {"empty", ""},
    };
    for (const auto& [label, bytes] : cases) {
        SCOPED_TRACE(label);
        TempDir dir;
        if (std::string(label) != "new file")
            test::write_file(dir / "f.DSP", std::string(5000, 'E'));
        EXPECT_FALSE(save_file_atomically(dir / "f.DSP", bytes));
        EXPECT_EQ(test::read_file(dir / "f.DSP"), bytes);
        EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"f.DSP"});
    }
}

TEST(SafeSave, ATakenCompanionNameIsLeftAlone) {
    TempDir dir;
    test::write_file(dir / "f.DSP.part0", "someone else's");
    EXPECT_FALSE(save_file_atomically(dir / "f.DSP", "new"));
    EXPECT_EQ(test::read_file(dir / "f.DSP"), "new");
    EXPECT_EQ(test::read_file(dir / "f.DSP.part0"), "someone else's");
}

// (A folder in the way is the download's own test.)
TEST(SafeSave, MissingFolderLeavesNothing) {
    TempDir dir;
    EXPECT_TRUE(save_file_atomically(dir / "no/f.DSP", "new"));
    EXPECT_TRUE(names_in(dir.path()).empty());
}

#ifndef _WIN32 // a file size limit is POSIX
TEST(SafeSave, DiskFullInTheMiddleKeepsTheEarlierFile) {
    TempDir dir;
    test::write_file(dir / "f.DSP", "EARLIER");
    // A file size limit makes the write fail part way, as a full disk does.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 4096;
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::error_code ec = save_file_atomically(dir / "f.DSP", std::string(100000, 'n'));
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_TRUE(ec);
    EXPECT_EQ(test::read_file(dir / "f.DSP"), "EARLIER");
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"f.DSP"});
}
#endif

#ifndef _WIN32 // folder modes are POSIX
TEST(SafeSave, ReadOnlyFolderKeepsTheEarlierFile) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    TempDir dir;
    fs::create_directory(dir / "ro");
    test::write_file(dir / "ro/f.DSP", "EARLIER");
    fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_TRUE(save_file_atomically(dir / "ro/f.DSP", "new"));
    EXPECT_EQ(test::read_file(dir / "ro/f.DSP"), "EARLIER");
    fs::permissions(dir / "ro", fs::perms::owner_all);
}
#endif

} // namespace
} // namespace velk2
