// "Download from Box" from velk2-boxsim's sender over a pseudo-terminal. No
// command line starts a download, so the loader runs in this process on the
// Qt platform, with its save dialog answered from a file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "download/download_receive.h"
#include "e2e_support.h"
#include "shell/handlers.h"

namespace velk2::e2e {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class DownloadE2E : public ::testing::TestWithParam<Link> {};
VELK2_OVER_EVERY_LINK(DownloadE2E);

TEST_P(DownloadE2E, SavesExactlyTheBoxFileOrNothing) {
    // The most one transfer carries: 2044 blocks of 1024 bytes. 2 MiB itself
    // (2097152) is beyond it and is refused by design.
    constexpr std::size_t capacity = 2044 * 1024;
    // Through the adapter every block waits up to 16 ms for its last 37
    // bytes: the full-size files would take half a minute each there, so the
    // adapter runs move 300 blocks or fewer (the same ends inside a block).
    const bool adapter = GetParam() == Link::adapter16;
    const struct {
        std::vector<std::string> box_args; // added to --role sender --once
        std::size_t size, adapter_size;
        const char* answer; // the save dialog's answer, under the folder "saved"
        const char* saved;  // the file that must appear there; "" for none
        const char* message = "Download mistake file (check)"; // when nothing is saved
    } cases[] = {
        {{"--baud", "230400"}, capacity, 300 * 1024, "from_box", "from_box.DSP"},
        // The box is reached on the reopening at the other rate; a size that
        // ends inside a block must be cut back to the header's size.
        {{"--baud", "115200"}, capacity - 517, 300 * 1024 - 517, "from_box.dsp", "from_box.dsp"},
        {{"--baud", "230400", "--fault", "corrupt-crc=150"}, 300000, 300000, "from_box", ""},
        // A box that missed an ACK sends the block again: it is taken once.
        {{"--baud", "230400", "--fault", "repeat-block=5"},
         300000,
         300000,
         "from_box",
         "from_box.DSP"},
        // Blocks out of order: nothing is saved and the box is left waiting.
        {{"--baud", "230400", "--fault", "swap-blocks=5"},
         300000,
         300000,
         "from_box",
         "",
         "The download stopped: block 5 of 293 was expected (number 05 FA), the box sent number "
         "06 F9. Nothing was saved."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.box_args.back());
        const ScopedDir temp;
        const std::string& dir = temp.path;
        const std::string saved_dir = dir + "/saved", box_file = dir + "/BOXFW.DSP";
        fs::create_directory(saved_dir);
        const std::size_t size = adapter ? c.adapter_size : c.size;
        const std::string bytes = sample_bytes(size, unsigned(size));
        write_file(box_file, bytes);
        std::vector<std::string> args{"--role", "sender", "--once", "--timeout",
                                      "60",     "--file", box_file};
        args.insert(args.end(), c.box_args.begin(), c.box_args.end());
        Box box(with_link(args, GetParam()), dir);
        ASSERT_EQ(box.slave.rfind("/dev/", 0), 0u) << box.slave;

        std::string err_text, down_setting;
        {
            StderrCapture err;
            InProcessLoader loader(dir, box.slave, {saved_dir + "/" + c.answer});
            cg1_Click(loader.ctx());
            EXPECT_EQ(loader.ctx().transfer_state, 0);
            EXPECT_FALSE(loader.ctx().port && loader.ctx().port->is_open());
            down_setting = loader.ctx().platform.read_setting("LAST", "DOWN");
            err_text = err.text();
        }
        const bool box_done = c.box_args.back().rfind("swap-blocks", 0) != 0;
        if (!box_done) box.process.terminate();
        const Result b = box.process.wait(10s);
        EXPECT_EQ(b.out.find("sent BOXFW.DSP " + std::to_string(size) + " bytes in " +
                             std::to_string((size + 1023) / 1024) + " blocks") != std::string::npos,
                  box_done)
            << b.out << tail_of(box.log());

        std::vector<std::string> files;
        for (const auto& e : fs::directory_iterator(saved_dir))
            files.push_back(e.path().filename());
        const std::string saved = *c.saved ? saved_dir + "/" + c.saved : "";
        EXPECT_EQ(files, *c.saved ? std::vector<std::string>{c.saved} : std::vector<std::string>{})
            << tail_of(err_text);
        EXPECT_TRUE(!*c.saved || same_bytes(bytes, read_file(saved)));
        EXPECT_EQ(down_setting, saved);
        EXPECT_EQ(err_text.find(std::string("message: : ") + c.message) != std::string::npos,
                  !*c.saved)
            << tail_of(err_text);
    }
}

} // namespace
} // namespace velk2::e2e
