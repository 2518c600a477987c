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

// The most one transfer carries: 2044 blocks of 1024 bytes. 2 MiB itself
// (2097152) is beyond it and is refused by design.
constexpr std::size_t capacity = 2044 * 1024;

struct DownloadCase {
    const char* name;
    std::vector<std::string> box_args; // added to --role sender --once
    std::size_t size;
    const char* answer; // the save dialog's answer, under the folder "saved"
    const char* saved;  // the file that must appear there; "" for none
};

const DownloadCase download_cases[] = {
    {"full_capacity_at_230400", {"--baud", "230400"}, capacity, "from_box", "from_box.DSP"},
    // The box is reached on the reopening at the other rate; a size that
    // ends inside a block must be cut back to the header's size.
    {"at_115200", {"--baud", "115200"}, capacity - 517, "from_box.dsp", "from_box.dsp"},
    {"corrupt_block_leaves_no_file",
     {"--baud", "230400", "--fault", "corrupt-crc=150"},
     300000,
     "from_box",
     ""},
};

void PrintTo(const DownloadCase& c, std::ostream* os) {
    *os << c.name;
}

class Download : public ::testing::TestWithParam<DownloadCase> {};

TEST_P(Download, SavesExactlyTheBoxFileOrNothing) {
    const DownloadCase& c = GetParam();
    const ScopedDir temp;
    const std::string& dir = temp.path;
    const std::string saved_dir = dir + "/saved";
    fs::create_directory(saved_dir);
    const std::string box_file = dir + "/BOXFW.DSP";
    const std::string bytes = sample_bytes(c.size, unsigned(c.size));
    write_file(box_file, bytes);

    std::vector<std::string> args{"--role", "sender", "--once", "--timeout",
                                  "60",     "--file", box_file};
    args.insert(args.end(), c.box_args.begin(), c.box_args.end());
    Box box(args, dir);
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
    const Result b = box.process.wait(10s);
    const std::size_t blocks = (c.size + 1023) / 1024;
    EXPECT_NE(b.out.find("sent BOXFW.DSP " + std::to_string(c.size) + " bytes in " +
                         std::to_string(blocks) + " blocks"),
              std::string::npos)
        << b.out << tail_of(box.log());

    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(saved_dir)) files.push_back(e.path().filename());
    if (*c.saved) {
        const std::string saved = saved_dir + "/" + c.saved;
        ASSERT_EQ(files, std::vector<std::string>{c.saved}) << tail_of(err_text);
        EXPECT_TRUE(same_bytes(bytes, read_file(saved)));
        EXPECT_EQ(down_setting, saved);
        EXPECT_EQ(err_text.find("Download mistake"), std::string::npos) << tail_of(err_text);
    } else {
        EXPECT_NE(err_text.find("message: : Download mistake file (check)"), std::string::npos)
            << tail_of(err_text);
        EXPECT_TRUE(files.empty()) << "a corrupt download left " << files.front();
        EXPECT_EQ(down_setting, "");
    }
}

INSTANTIATE_TEST_SUITE_P(E2E, Download, ::testing::ValuesIn(download_cases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace velk2::e2e
