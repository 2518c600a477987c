// The process service with real children: the helper program built beside
// this test (tests/child_helper) on Linux, and as a Windows program under
// wine. Waits are real but short; every bound is generous.
#include "platform/child_process.h"
#include "platform/os_path.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace velk2 {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string helper_path() {
#ifdef _WIN32
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return path_text(std::filesystem::path(self).parent_path() / "velk2_child_helper.exe");
#else
    return path_text(std::filesystem::read_symlink("/proc/self/exe").parent_path() /
                     "velk2_child_helper");
#endif
}

std::unique_ptr<ChildProcess> start_helper(const std::vector<std::string>& arguments) {
    ChildStart started = start_child(helper_path(), arguments);
    EXPECT_TRUE(started.child) << started.error;
    return std::move(started.child);
}

struct Finished {
    std::vector<std::string> lines;
    std::optional<ChildExit> exit;
    std::string tail;
};

// Polls until the child has ended; the lines it wrote and how it ended.
Finished finish(ChildProcess& child, std::chrono::milliseconds limit = 20s) {
    Finished f;
    for (const auto end = Clock::now() + limit; Clock::now() < end;) {
        child.poll();
        for (auto& line : child.take_lines()) f.lines.push_back(std::move(line));
        if ((f.exit = child.exit_status())) break;
        std::this_thread::sleep_for(2ms);
    }
    for (auto& line : child.take_lines()) f.lines.push_back(std::move(line));
    f.tail = child.stderr_tail();
    return f;
}

// Polls for `span`, collecting lines.
std::vector<std::string> lines_within(ChildProcess& child, std::chrono::milliseconds span) {
    std::vector<std::string> lines;
    for (const auto end = Clock::now() + span; Clock::now() < end;) {
        child.poll();
        for (auto& line : child.take_lines()) lines.push_back(std::move(line));
        std::this_thread::sleep_for(2ms);
    }
    return lines;
}

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (const unsigned char c : bytes) text += {digits[c >> 4], digits[c & 15]};
    return text;
}

// Arguments with blanks, quotes and backslashes reach the child as given:
// on Windows through the one command-line text the child cuts up again.
TEST(ChildProcess, ArgumentsArriveExactly) {
    const std::vector<std::vector<std::string>> cases = {
        {"plain", "two words", ""},
        {"say \"hi\"", "\"", "\"\"", "a\"b c\"d"},
        {"trailing\\", "C:\\fw files\\", "\\\\server\\share\\x.dsp", "a\\\\\"b"},
        {"tab\there", " ", "line\nbreak", "--name=C:\\fw, v2\\main.dsp"},
        {"Stra\xc3\x9f"
         "e \xc3\xbc\xe2\x82\xac",
         "\xe6\x97\xa5\xe6\x9c\xac"},
    };
    for (const auto& arguments : cases) {
        std::vector<std::string> args{"args"};
        args.insert(args.end(), arguments.begin(), arguments.end());
        auto child = start_helper(args);
        ASSERT_TRUE(child);
        const Finished f = finish(*child);
        std::vector<std::string> expected;
        for (const auto& a : arguments) expected.push_back("arg " + hex(a));
        EXPECT_EQ(f.lines, expected) << arguments[0];
        EXPECT_EQ(f.exit, (ChildExit{false, 0})) << arguments[0];
    }
}

TEST(ChildProcess, EndAndLastErrorLinesAreTold) {
    const struct {
        std::vector<std::string> args;
        ChildExit exit;
        const char* text;
        const char* tail;
    } cases[] = {
        {{"exit", "255"}, {false, 255}, "exit status 255", ""},
        {{"stderr", "2", "4"}, {false, 4}, "exit status 4", "err 1\nerr 2"},
        {{"stderr", "7", "1"}, {false, 1}, "exit status 1", "err 3\nerr 4\nerr 5\nerr 6\nerr 7"},
#ifdef _WIN32
        {{"exit", "0xC0000005"}, {true, int(0xC0000005u)}, "exception 0xC0000005", ""},
#else
        {{"signal", "15"}, {true, SIGTERM}, "signal 15", ""},
        {{"signal", "11"}, {true, SIGSEGV}, "signal 11", ""},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        auto child = start_helper(c.args);
        ASSERT_TRUE(child);
        const Finished f = finish(*child);
        ASSERT_TRUE(f.exit);
        EXPECT_EQ(*f.exit, c.exit);
        EXPECT_EQ(child_exit_text(*f.exit), c.text);
        EXPECT_EQ(f.tail, c.tail);
    }
}

// A line is given whole once its end has come, never in pieces; the end of
// the input is the child's stop request.
TEST(ChildProcess, LinesComeWholeWhateverThePieces) {
    auto child = start_helper({"echo"});
    ASSERT_TRUE(child);
    const struct {
        const char* piece;
        std::vector<std::string> lines;
    } steps[] = {
        {"one\ntw", {"one"}},
        {"o", {}},
        {"\r\nthree\n\nfour", {"two", "three", ""}},
        {"\n", {"four"}},
    };
    for (const auto& step : steps) {
        child->write_input(step.piece);
        EXPECT_EQ(lines_within(*child, 300ms), step.lines) << step.piece;
    }
    child->close_input();
    const Finished f = finish(*child);
    EXPECT_EQ(f.lines, std::vector<std::string>{});
    EXPECT_EQ(f.exit, (ChildExit{false, 0}));

    // A last line without its end is no line.
    auto partial = start_helper({"partial"});
    ASSERT_TRUE(partial);
    EXPECT_EQ(finish(*partial).lines, std::vector<std::string>{"first"});
}

TEST(ChildProcess, StopRequestIsTheEndOfInput) {
    auto child = start_helper({"wait-eof"});
    ASSERT_TRUE(child);
    child->write_input("abc");
    EXPECT_EQ(lines_within(*child, 200ms), std::vector<std::string>{});
    EXPECT_EQ(child->exit_status(), std::nullopt);
    child->close_input();
    child->write_input("dropped"); // after the end: never sent
    const Finished f = finish(*child);
    EXPECT_EQ(f.lines, std::vector<std::string>{"eof after 3"});
    EXPECT_EQ(f.exit, (ChildExit{false, 3}));
}

// The upload data (2 MB) to a child that reads slowly: the caller is never
// held up, the child gets every byte.
TEST(ChildProcess, LargeInputReachesASlowReaderWithoutBlocking) {
    std::string data(2093056, '\0');
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = char((i * 131 + i / 1024) & 0xFF);
        hash = (hash ^ static_cast<unsigned char>(data[i])) * 0x100000001b3ULL;
    }
    auto child = start_helper({"count", "40"}); // 40 ms after every 64 KiB: 1.3 s in all
    ASSERT_TRUE(child);
    auto slowest = Clock::duration::zero();
    const auto timed = [&](auto call) {
        const auto start = Clock::now();
        call();
        slowest = std::max(slowest, Clock::now() - start);
    };
    timed([&] { child->write_input(data); });
    EXPECT_GT(child->input_pending(), 0u);
    for (const auto end = Clock::now() + 30s; child->input_pending() > 0 && Clock::now() < end;) {
        timed([&] { child->poll(); });
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(child->input_pending(), 0u);
    child->close_input();
    const Finished f = finish(*child);
    char expected[64];
    std::snprintf(expected, sizeof expected, "got %zu %016llx", data.size(),
                  static_cast<unsigned long long>(hash));
    EXPECT_EQ(f.lines, std::vector<std::string>{expected});
    EXPECT_LT(slowest, 300ms) << "a call waited for the child";
}

// Output that comes faster than it is taken, up to the child's end: every
// line, in order, before the end is told.
TEST(ChildProcess, EveryLineArrivesBeforeTheEnd) {
    auto child = start_helper({"flood", "20000"});
    ASSERT_TRUE(child);
    std::vector<std::string> lines;
    for (const auto end = Clock::now() + 20s; !child->exit_status() && Clock::now() < end;) {
        std::this_thread::sleep_for(50ms);
        child->poll();
        if (child->exit_status()) break; // the lines of the last poll are taken below
        for (auto& line : child->take_lines()) lines.push_back(std::move(line));
    }
    for (auto& line : child->take_lines()) lines.push_back(std::move(line));
    ASSERT_EQ(lines.size(), 20000u);
    for (std::size_t i = 0; i < lines.size(); i += 997) {
        std::string expected = "line " + std::to_string(i + 1) + " ";
        expected.resize(99, '.');
        EXPECT_EQ(lines[i], expected);
    }
    EXPECT_EQ(child->exit_status(), (ChildExit{false, 0}));

    // A line longer than any worker's is dropped, the next one comes.
    auto longline = start_helper({"longline", std::to_string(max_line_bytes + 10)});
    ASSERT_TRUE(longline);
    EXPECT_EQ(finish(*longline).lines, std::vector<std::string>{"ok"});
}

TEST(ChildProcess, KillEndsAChildThatHangs) {
    auto child = start_helper({"sleep"});
    ASSERT_TRUE(child);
    EXPECT_EQ(lines_within(*child, 100ms), std::vector<std::string>{});
    EXPECT_EQ(child->exit_status(), std::nullopt);
    const auto start = Clock::now();
    child->kill();
    const Finished f = finish(*child, 10s);
#ifdef _WIN32
    EXPECT_EQ(f.exit, (ChildExit{false, 1}));
#else
    EXPECT_EQ(f.exit, (ChildExit{true, SIGKILL}));
#endif
    EXPECT_LT(Clock::now() - start, 5s);
}

TEST(ChildProcess, StartFailsWithTheReason) {
    const std::string folder = std::filesystem::temp_directory_path().string();
    const std::vector<std::string> programs = {
        helper_path() + "-missing",
        folder,
    };
    for (const auto& program : programs) {
        const ChildStart started = start_child(program, {"args"});
        EXPECT_FALSE(started.child) << program;
        EXPECT_FALSE(started.error.empty()) << program;
    }
#ifndef _WIN32
    const ChildStart missing = start_child("/nonexistent/velk2", {});
    EXPECT_EQ(missing.error, "/nonexistent/velk2: No such file or directory");
#endif
}

// The child holds its three pipes and nothing else of this process: here
// the write end of a pipe that this process made inheritable (Windows) or
// opened without close-on-exec (POSIX). Once this process closes its own
// copy, the pipe has no writer left, unless the child holds one.
TEST(ChildProcess, ChildInheritsNoOtherHandle) {
#ifdef _WIN32
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE reader = nullptr, writer = nullptr;
    ASSERT_TRUE(CreatePipe(&reader, &writer, &inherit, 0));
    const auto writer_gone = [&] {
        DWORD available = 0;
        return !PeekNamedPipe(reader, nullptr, 0, nullptr, &available, nullptr) &&
               GetLastError() == ERROR_BROKEN_PIPE;
    };
    const auto close_writer = [&] { CloseHandle(writer); };
#else
    int ends[2];
    ASSERT_EQ(pipe(ends), 0); // no O_CLOEXEC, on purpose
    const auto writer_gone = [&] {
        pollfd p{ends[0], POLLIN, 0};
        return ::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP) != 0;
    };
    const auto close_writer = [&] { ::close(ends[1]); };
#endif
    auto child = start_helper({"wait-eof"});
    ASSERT_TRUE(child);
    child->poll();
    close_writer();
    EXPECT_TRUE(writer_gone()) << "the child holds the write end";
    child->close_input();
    EXPECT_EQ(finish(*child).exit, (ChildExit{false, 3}));
#ifdef _WIN32
    CloseHandle(reader);
#else
    ::close(ends[0]);
#endif
}

#ifndef _WIN32
// A station that blocks its end signals and ignores SIGPIPE starts its
// children with the defaults, each in a group of its own; writing to a
// child that is gone does not end the station.
TEST(ChildProcess, ChildStartsWithDefaultSignalsInItsOwnGroup) {
    sigset_t term, old;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &term, &old);
    const auto old_pipe = std::signal(SIGPIPE, SIG_IGN);
    auto child = start_helper({"signals"});
    std::signal(SIGPIPE, old_pipe);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    ASSERT_TRUE(child);
    EXPECT_EQ(finish(*child).lines, (std::vector<std::string>{"default", "own group"}));
}

TEST(ChildProcess, InputToAChildThatIsGoneIsDropped) {
    auto child = start_helper({"exit", "0"});
    ASSERT_TRUE(child);
    std::this_thread::sleep_for(200ms); // gone, not yet told
    child->write_input(std::string(100000, 'x'));
    const Finished f = finish(*child);
    EXPECT_EQ(f.exit, (ChildExit{false, 0}));
    EXPECT_EQ(child->input_pending(), 0u);
}

// No child outlives its object, and none is left a zombie.
TEST(ChildProcess, DroppedChildIsEndedAndCollected) {
    for (const char* command : {"sleep", "echo"}) {
        auto child = start_helper({command});
        ASSERT_TRUE(child);
        child->poll();
        child.reset();
        int status = 0;
        errno = 0;
        EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1) << command;
        EXPECT_EQ(errno, ECHILD) << command;
    }
}
#endif

} // namespace
} // namespace velk2
