// What a child writes as its owner takes it (lines, the error tail), the
// Windows command line that carries a child's arguments, and the scripted
// children of the owner's tests.
#include "platform/child_output.h"
#include "platform/scripted_child.h"
#include "platform/windows_command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velk2 {
namespace {

using Lines = std::vector<std::string>;

TEST(ChildOutput, StandardOutputComesInWholeLines) {
    const struct {
        const char* what;
        std::vector<std::string> pieces;
        std::vector<Lines> after_each; // take_lines() after each piece
    } cases[] = {
        {"pieces joined", {"rea", "dy 5\nwai", "ting\n"}, {{}, {"ready 5"}, {"waiting"}}},
        {"several lines in one piece", {"a\nb\n\nc\n"}, {{"a", "b", "", "c"}}},
        {"a carriage return before the end goes",
         {"a\r\n", "b\r", "\n", "c\rd\n"},
         {{"a"}, {}, {"b"}, {"c\rd"}}},
        {"an unfinished line waits", {"quiet"}, {{}}},
        // The limit is 8 bytes here.
        {"a line at the limit stays", {"12345678\n", "12345678\r\n"}, {{"12345678"}, {"12345678"}}},
        {"a longer one goes whole, the next comes",
         {"1234", "56789", "abc\nok\n"},
         {{}, {}, {"ok"}}},
        {"a longer one in one piece", {"123456789\nok\n"}, {{"ok"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ChildOutput output(8, 3);
        for (std::size_t i = 0; i < c.pieces.size(); ++i) {
            output.add_stdout(c.pieces[i]);
            EXPECT_EQ(output.take_lines(), c.after_each[i]) << i;
        }
    }
}

TEST(ChildOutput, StandardErrorKeepsItsLastLines) {
    const struct {
        const char* what;
        std::string bytes;
        const char* tail;
    } cases[] = {
        {"nothing", "", ""},
        {"one line", "boom\n", "boom"},
        {"the last three", "1\n2\n3\n4\n5\n", "3\n4\n5"},
        {"an unfinished last line counts", "1\n2\n3\n4", "2\n3\n4"},
        {"line ends of both kinds", "a\r\nb\n", "a\nb"},
        {"a long line is cut", "0123456789abc\nx\n", "01234567\nx"},
        {"stdout is no part of it", "", ""},
    };
    for (const auto& c : cases) {
        ChildOutput output(8, 3);
        output.add_stdout("not an error\n");
        // In two pieces, split in the middle.
        output.add_stderr(c.bytes.substr(0, c.bytes.size() / 2));
        output.add_stderr(c.bytes.substr(c.bytes.size() / 2));
        EXPECT_EQ(output.stderr_tail(), c.tail) << c.what;
    }
}

TEST(WindowsCommandLine, ArgumentsAreQuotedAsTheChildCutsThem) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain", "plain"},
        {"", "\"\""},
        {"two words", "\"two words\""},
        {"tab\there", "\"tab\there\""},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"\"", "\"\\\"\""},
        {"C:\\fw\\x.dsp", "C:\\fw\\x.dsp"},         // backslashes alone stay single
        {"C:\\fw files\\", "\"C:\\fw files\\\\\""}, // doubled before the closing quote
        {"a\\\"b", "\"a\\\\\\\"b\""},               // a\"b: 2n+1 before the quote
        {"a\\\\ b", "\"a\\\\ b\""},                 // not before a quote: as they are
        {"\\\\server\\share", "\\\\server\\share"},
        {"Stra\xc3\x9f"
         "e",
         "Stra\xc3\x9f"
         "e"},
    };
    for (const auto& [argument, written] : cases)
        EXPECT_EQ(windows_argument(argument), written) << argument;
    EXPECT_EQ(
        windows_command_line("C:\\Program Files\\VELK2\\velk2.exe",
                             {"--worker", "COM3", "--name", "C:\\fw\\a b.dsp", ""}),
        "\"C:\\Program Files\\VELK2\\velk2.exe\" --worker COM3 --name \"C:\\fw\\a b.dsp\" \"\"");
}

// The scripted children behave as the real ones where their owner can tell.
TEST(ScriptedChild, PlaysAChildForItsOwner) {
    ScriptedChildren children;
    const StartChild start = children.starter();
    ChildStart started = start("/usr/bin/velk2", {"--worker", "COM1"});
    ASSERT_TRUE(started.child);
    ChildProcess& child = *started.child;
    ChildScript& script = children.last();
    EXPECT_EQ(script.arguments, (Lines{"--worker", "COM1"}));

    script.reads_per_poll = 4;
    child.write_input("0123456789");
    script.say("ready 10 ab");
    child.poll();
    EXPECT_EQ(script.input, "0123");
    EXPECT_EQ(child.input_pending(), 6u);
    EXPECT_EQ(child.take_lines(), Lines{});
    script.say("\r\nwaiting /dev/x\nflash");
    script.complain("no port\n");
    child.poll();
    EXPECT_EQ(child.take_lines(), (Lines{"ready 10 ab", "waiting /dev/x"}));
    EXPECT_EQ(child.stderr_tail(), "no port");
    child.close_input();
    EXPECT_TRUE(script.input_closed);
    EXPECT_EQ(child.input_pending(), 0u);
    child.poll();
    EXPECT_EQ(script.input, "01234567");
    EXPECT_EQ(child.exit_status(), std::nullopt);
    child.kill();
    EXPECT_EQ(child.exit_status(), std::nullopt); // seen at the next poll
    child.poll();
    EXPECT_EQ(child.exit_status(), (ChildExit{true, 9}));
    EXPECT_EQ(child.take_lines(), Lines{}); // "flash" never got its end

    children.refuse_next("no such program");
    const ChildStart refused = start("/x", {});
    EXPECT_FALSE(refused.child);
    EXPECT_EQ(refused.error, "no such program");
    EXPECT_TRUE(start("/x", {}).child);
    EXPECT_EQ(children.started().size(), 3u);
}

} // namespace
} // namespace velk2
