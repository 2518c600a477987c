// The durable append of the flash record: folders and file made, the header
// once, lines in order, nothing that was there changed, and a reason when
// the log cannot be written.
#include "platform/durable_append.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/harness.h"

#ifdef _WIN32
#include "platform/win32/win32_api.h"
#include "platform/win32_error.h"
#else
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/file_size_signal.h"
#endif

namespace velk2 {
namespace {

using test::exists;
using test::read_file;
using test::TempDir;
using test::write_file;

const std::string header = "start,port,result\n";
constexpr char sep = folder_separator;

TEST(DurableAppend, HeaderOnceThenLinesInOrder) {
    const struct {
        const char* what;
        std::string before; // the file's bytes before the first step; "-" for no file
        std::vector<std::string> lines;
        std::string after;
    } cases[] = {
        {"a new file: header, then the lines",
         "-",
         {"a,COM1,done\n", "b,COM2,failed\n"},
         header + "a,COM1,done\nb,COM2,failed\n"},
        {"the check alone writes the header",
         "-",
         {"", "", "a,COM1,done\n"},
         header + "a,COM1,done\n"},
        {"an empty file gets the header", "", {"a,COM1,done\n"}, header + "a,COM1,done\n"},
        {"a file with lines keeps them, no second header",
         header + "old\n",
         {"", "new\n"},
         header + "old\nnew\n"},
        {"what is there stays, even without a header", "x,y\n", {"new\n"}, "x,y\nnew\n"},
        {"a cut last line is ended first",
         header + "a,CO",
         {"", "b,COM2,done\n"},
         header + "a,CO\nb,COM2,done\n"},
        {"text in UTF-8 as it is",
         "-",
         {"2026-12-07T16:05:09+01:00,COM1,\"Pr\xc3\xbc"
          "fung \xe2\x82\xac\"\n"},
         header + "2026-12-07T16:05:09+01:00,COM1,\"Pr\xc3\xbc"
                  "fung \xe2\x82\xac\"\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const TempDir dir;
        // Two folders that do not exist yet, one with a name beyond ASCII.
        const std::string folder = dir / ("data" + std::string(1, sep) + "VELK2 \xc3\xbc");
        const std::string log = folder + sep + "flash-log \xe2\x82\xac.csv";
        if (c.before != "-") {
            std::filesystem::create_directories(os_path(folder));
            write_file(log, c.before);
        }
        for (const auto& line : c.lines)
            EXPECT_EQ(append_durably(log, header, line), std::error_code{});
        EXPECT_EQ(read_file(log), c.after);
    }
}

// Whether the OS lets this process write the file, whatever its mode.
bool opens_for_writing(const std::string& path) {
    std::FILE* f = open_file(path, "ab");
    if (f) std::fclose(f);
    return f != nullptr;
}

TEST(DurableAppend, UnwritableLogFailsWithTheReason) {
    const TempDir dir;
    const std::string folder_log = dir / "folder.csv";
    std::filesystem::create_directories(os_path(folder_log));
    const std::string file_in_the_way = dir / "plain";
    write_file(file_in_the_way, "not a folder");
    const std::string read_only = dir / "read-only.csv";
    write_file(read_only, header + "kept\n");
    std::filesystem::permissions(os_path(read_only), std::filesystem::perms::owner_read |
                                                         std::filesystem::perms::group_read);
    const struct {
        const char* what;
        std::string path;
        bool applies;
    } cases[] = {
        {"the log is a folder", folder_log, true},
        {"a folder of its path is a file", file_in_the_way + sep + "VELK2" + sep + "log.csv", true},
        // root (and wine run by root) writes whatever the file's mode says
        {"a read-only file", read_only, !opens_for_writing(read_only)},
#ifdef _WIN32
        {"a name Windows refuses", dir / "a<b>.csv", true},
#else
        {"a full disk", "/dev/full", true},
#endif
    };
    for (const auto& c : cases) {
        if (!c.applies) continue;
        for (const std::string line : {"", "a,COM1,done\n"}) {
            const std::error_code ec = append_durably(c.path, header, line);
            EXPECT_TRUE(ec) << c.what;
            EXPECT_FALSE(ec.message().empty()) << c.what;
        }
    }
    EXPECT_EQ(read_file(file_in_the_way), "not a folder");
    EXPECT_EQ(read_file(read_only), header + "kept\n");
    EXPECT_TRUE(std::filesystem::is_empty(os_path(folder_log)));
#ifndef _WIN32
    EXPECT_EQ(append_durably("/dev/full", header, "x\n"), std::errc::no_space_on_device);
#endif
    std::filesystem::permissions(os_path(read_only), std::filesystem::perms::owner_all);
}

#ifdef _WIN32
// Windows errors read as the system words them and compare as the portable
// conditions the callers test for.
TEST(Win32Error, SystemTextAndPortableCondition) {
    const std::pair<DWORD, std::errc> cases[] = {
        {ERROR_ACCESS_DENIED, std::errc::permission_denied},
        {ERROR_DISK_FULL, std::errc::no_space_on_device},
        {ERROR_PATH_NOT_FOUND, std::errc::no_such_file_or_directory},
        {ERROR_SHARING_VIOLATION, std::errc::device_or_resource_busy},
    };
    for (const auto& [code, condition] : cases) {
        const std::error_code ec = win32_error(code);
        EXPECT_EQ(ec, condition) << code;
        EXPECT_EQ(ec.message(), win32_error_text(code));
        EXPECT_NE(ec.message(), "error " + std::to_string(code));
        EXPECT_NE(ec.message().back(), '\n');
    }
    EXPECT_EQ(win32_error_text(0xE0001234), "error 3758101044"); // no text for it
}
#else
// A disk that fills in the middle of a line (here: the file-size limit of a
// child process) fails that append; the next one starts on a line of its
// own, and every earlier line is as it was.
TEST(DurableAppend, LineCutByAFullDiskStaysApartFromTheNext) {
    const TempDir dir;
    const std::string log = dir / "flash-log.csv";
    ASSERT_EQ(append_durably(log, header, "a,COM1,done\n"), std::error_code{});
    const std::string before = read_file(log);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ignore_file_size_signal();
        const rlimit small{before.size() + 5, before.size() + 5};
        ::setrlimit(RLIMIT_FSIZE, &small);
        const std::error_code ec = append_durably(log, header, "b,COM2,done\n");
        ::_exit(ec == std::errc::file_too_large ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(read_file(log), before + "b,COM");
    ASSERT_EQ(append_durably(log, header, "c,COM3,done\n"), std::error_code{});
    EXPECT_EQ(read_file(log), before + "b,COM\nc,COM3,done\n");
}
#endif

} // namespace
} // namespace velk2
