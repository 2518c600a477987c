#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "download/safe_save.h"
#include "platform/file_size_signal.h"
#include "support/harness.h"

namespace velk2 {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

std::vector<std::string> names_in(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(os_path(dir)))
        names.push_back(path_text(e.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

// The file's time moved back, as a file left there long ago.
void age(const std::string& path, std::chrono::minutes by) {
    fs::last_write_time(os_path(path), fs::file_time_type::clock::now() - by);
}

// Both ways a save can go: a file without a name linked into place where the
// OS can, and the companion file that is renamed over the target.
const std::pair<const char*, bool> ways[] = {{"unnamed file", true}, {"companion file", false}};

TEST(SafeSave, WritesExactlyTheBytesAndLeavesNothingElse) {
    const struct {
        const char* label;
        std::string bytes;
        std::size_t earlier; // bytes of the file that was there; 0: none
    } cases[] = {
        {"new file", std::string("A\0B\x1A", 4), 0},
        {"shorter than the earlier file", "xy", 5000},
        {"replacing with more pieces than one", std::string(3 * write_piece_size + 5, 'n'), 10},
        {"empty", "", 7},
    };
    for (const auto& [way, unnamed] : ways)
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(way) + ", " + c.label);
            TempDir dir;
            if (c.earlier) test::write_file(dir / "f.DSP", std::string(c.earlier, 'E'));
            std::size_t reported = 0;
            const SaveOptions options{unnamed, [&reported](std::size_t n) { reported = n; }};
            EXPECT_FALSE(save_file_atomically(dir / "f.DSP", c.bytes, options));
            EXPECT_EQ(test::read_file(dir / "f.DSP"), c.bytes);
            EXPECT_EQ(reported, c.bytes.size());
            EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"f.DSP"});
        }
}

TEST(SafeSave, ATakenCompanionNameIsLeftAlone) {
    for (const auto& [way, unnamed] : ways) {
        SCOPED_TRACE(way);
        TempDir dir;
        test::write_file(dir / "f.DSP", "EARLIER");
        test::write_file(companion_name(dir / "f.DSP", 0), "someone else's");
        age(companion_name(dir / "f.DSP", 0), std::chrono::minutes(1));
        EXPECT_FALSE(save_file_atomically(dir / "f.DSP", "new", {unnamed, {}}));
        EXPECT_EQ(test::read_file(dir / "f.DSP"), "new");
        EXPECT_EQ(test::read_file(companion_name(dir / "f.DSP", 0)), "someone else's");
        EXPECT_EQ(names_in(dir.path()).size(), 2u);
    }
}

// (A folder in the way is the download's own test.)
TEST(SafeSave, AFolderThatIsNotThereLeavesNothing) {
    for (const auto& [way, unnamed] : ways)
        for (const char* target : {"no/f.DSP", "plain/f.DSP"}) {
            SCOPED_TRACE(std::string(way) + ", " + target);
            TempDir dir;
            test::write_file(dir / "plain", "a file, not a folder");
            EXPECT_TRUE(save_file_atomically(dir / target, "new", {unnamed, {}}));
            EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"plain"});
        }
}

// A save that died leaves a companion behind where no unnamed file can be
// made; the next save into that folder removes what is clearly ours and old.
TEST(SafeSave, OldCompanionsOfOursGoAtTheNextSaveIntoTheFolder) {
    const struct {
        const char* name;
        int minutes_old;
        bool removed;
    } cases[] = {
        {"a.DSP.velk2-part0", 11, true},   {"b.bin.DSP.velk2-part42", 600, true},
        {"c.DSP.velk2-part0", 1, false}, // another copy may be saving it now
        {"d.DSP.part0", 600, false},     // not our pattern
        {"e.DSP.velk2-partx", 600, false}, {"f.DSP.velk2-part123", 600, false},
        {".velk2-part1", 600, false},
    };
    for (const auto& [way, unnamed] : ways) {
        SCOPED_TRACE(way);
        TempDir dir;
        std::vector<std::string> kept{"saved.DSP"};
        for (const auto& c : cases) {
            test::write_file(dir / c.name, "left");
            age(dir / c.name, std::chrono::minutes(c.minutes_old));
            if (!c.removed) kept.push_back(c.name);
        }
        // A folder is nobody's companion (Windows keeps a folder's time).
        fs::create_directory(os_path(dir / "g.DSP.velk2-part0"));
        std::error_code ec;
        fs::last_write_time(os_path(dir / "g.DSP.velk2-part0"),
                            fs::file_time_type::clock::now() - std::chrono::minutes(600), ec);
        if (!ec)
            kept.push_back("g.DSP.velk2-part0");
        else
            fs::remove(os_path(dir / "g.DSP.velk2-part0"));
        std::sort(kept.begin(), kept.end());
        EXPECT_FALSE(save_file_atomically(dir / "saved.DSP", "new", {unnamed, {}}));
        EXPECT_EQ(names_in(dir.path()), kept);
    }
}

#ifndef _WIN32 // processes, signals and file-size limits are POSIX

bool unnamed_files_work(const std::string& dir) {
    const int fd = ::open(dir.c_str(), O_TMPFILE | O_WRONLY, 0600);
    if (fd >= 0) ::close(fd);
    return fd >= 0;
}

// How a child process that saved ended: the signal that killed it, or its
// exit code (0 saved, 1 the save failed with EFBIG, 2 another failure).
struct ChildEnd {
    int signal = 0;
    int code = -1;
    bool operator==(const ChildEnd&) const = default;
};

ChildEnd save_in_child(const std::string& path, const std::string& bytes, bool unnamed,
                       bool limited, std::size_t kill_at) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (limited) {
            ignore_file_size_signal(); // as the program does at start
            const rlimit small{write_piece_size, write_piece_size};
            ::setrlimit(RLIMIT_FSIZE, &small);
        }
        const auto progress = [kill_at](std::size_t n) {
            if (kill_at && n >= kill_at) ::raise(SIGKILL);
        };
        const std::error_code ec = save_file_atomically(path, bytes, {unnamed, progress});
        ::_exit(!ec ? 0 : ec == std::errc::file_too_large ? 1 : 2);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFSIGNALED(status) ? ChildEnd{WTERMSIG(status), -1} : ChildEnd{0, WEXITSTATUS(status)};
}

// A program killed in the middle of a save, or stopped by its file-size
// limit, leaves no file of ours and the earlier file as it was; where the
// file system makes unnamed files, not even for a moment.
TEST(SafeSave, NoFileOfOursOutlivesAKilledOrLimitedSave) {
    const std::string bytes(5 * write_piece_size, 'n');
    const ChildEnd killed{SIGKILL, -1}, too_large{0, 1};
    const struct {
        const char* label;
        bool unnamed, earlier, limited;
        ChildEnd end;
        std::vector<std::string> left; // right after the child, besides f.DSP
    } cases[] = {
        {"killed while writing a new file", true, false, false, killed, {}},
        {"killed while replacing a file", true, true, false, killed, {}},
        {"over the file-size limit", true, false, true, too_large, {}},
        {"over the file-size limit, replacing", true, true, true, too_large, {}},
        {"over the limit, companion file", false, true, true, too_large, {}},
        // Without unnamed files the companion stays until the next save.
        {"killed, companion file", false, true, false, killed, {"f.DSP.velk2-part0"}},
    };
    const bool unnamed_ok = unnamed_files_work(TempDir().path());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        if (c.unnamed && !unnamed_ok) continue;
        TempDir dir;
        if (c.earlier) test::write_file(dir / "f.DSP", "EARLIER");
        const ChildEnd end = save_in_child(dir / "f.DSP", bytes, c.unnamed, c.limited,
                                           c.limited ? 0 : 2 * write_piece_size);
        EXPECT_EQ(end, c.end) << "signal " << end.signal << ", exit code " << end.code;
        std::vector<std::string> left = c.left;
        if (c.earlier) left.insert(left.begin(), "f.DSP");
        EXPECT_EQ(names_in(dir.path()), left);
        if (c.earlier) {
            EXPECT_EQ(test::read_file(dir / "f.DSP"), "EARLIER");
        }

        for (const auto& name : c.left) age(dir / name, std::chrono::minutes(11));
        EXPECT_FALSE(save_file_atomically(dir / "g.DSP", "next", {c.unnamed, {}}));
        std::vector<std::string> after{"g.DSP"};
        if (c.earlier) after.insert(after.begin(), "f.DSP");
        EXPECT_EQ(names_in(dir.path()), after);
    }
    if (!unnamed_ok) GTEST_SKIP() << "the file system of /tmp makes no unnamed files";
}

// A new file gets the mode any new file gets: 0666 less the umask.
TEST(SafeSave, NewFileModeHonoursTheUmask) {
    for (const auto& [way, unnamed] : ways) {
        SCOPED_TRACE(way);
        TempDir dir;
        const mode_t old = ::umask(027);
        const std::error_code ec = save_file_atomically(dir / "f.DSP", "new", {unnamed, {}});
        ::umask(old);
        EXPECT_FALSE(ec);
        struct stat st {};
        ASSERT_EQ(::stat((dir / "f.DSP").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0640u);
    }
}

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
