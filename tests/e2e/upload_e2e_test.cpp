// Uploads from the real loader to velk2-boxsim's bootloader over a
// pseudo-terminal: the box must store exactly the bytes the loader meant to
// send, and the automatic command-line upload must tell a flashed box from a
// failed one by its exit status.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "e2e_support.h"
#include "shell/file_selection.h"
#include "shell/handlers.h"
#include "upload/fs_image.h"
#include "upload/jpg_wrap.h"
#include "upload/upload_driver.h"

namespace velk2::e2e {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct AutomaticUploadCase {
    const char* name;
    std::vector<std::string> box_args; // added to --role bootloader --once
    const char* file_name;
    std::size_t size;
    int exit_status;
    const char* loader_says; // a text the loader prints on standard error
};

// Unpaced except one small file: the pacing proves the loader's reads and
// pauses hold at the line rate; the others prove the bytes, quickly.
const AutomaticUploadCase automatic_upload_cases[] = {
    // 293 blocks: the block number wraps from 255 to 0 on the way.
    {"at_230400", {"--baud", "230400"}, "FW_230.dsp", 300000, 0, "done"},
    // The box answers at 115200 only: the garbled "C" brings the switch.
    {"fallback_115200", {"--baud", "115200"}, "fw_fallback.DSP", 270001, 0, "done"},
    {"paced_230400", {"--baud", "230400", "--pace"}, "paced.dsp", 24000, 0, "done"},
    {"nak_to_block_2", {"--fault", "nak-block=2"}, "nak.dsp", 50000, 1, "input byte 0x06<>15 "},
    {"silent_box", {"--fault", "silent"}, "silent.dsp", 50000, 1, "time end"},
};

void PrintTo(const AutomaticUploadCase& c, std::ostream* os) {
    *os << c.name;
}

class AutomaticUpload : public ::testing::TestWithParam<AutomaticUploadCase> {};

TEST_P(AutomaticUpload, BoxStoresExactlyTheFileAndExitStatusTellsTheOutcome) {
    const AutomaticUploadCase& c = GetParam();
    const ScopedDir temp;
    const std::string& dir = temp.path;
    const std::string out = dir + "/box";
    fs::create_directory(out);
    const std::string file = dir + "/" + c.file_name;
    const std::string bytes = sample_bytes(c.size, unsigned(c.size));
    write_file(file, bytes);

    std::vector<std::string> args{"--role", "bootloader", "--once", "--timeout",
                                  "60",     "--out",      out};
    args.insert(args.end(), c.box_args.begin(), c.box_args.end());
    Box box(args, dir);
    ASSERT_EQ(box.slave.rfind("/dev/", 0), 0u) << box.slave;

    auto env = velk2_env(dir + "/config");
    env["VELK2_COM1"] = box.slave;
    const Result r = run({VELK2_EXE, "(COM1){" + file + "}"}, env, dir, 60s);

    EXPECT_EQ(r.status, c.exit_status) << tail_of(r.err);
    EXPECT_NE(r.err.find(c.loader_says), std::string::npos) << tail_of(r.err);
    if (c.exit_status == 0) {
        const Result b = box.process.wait(10s);
        EXPECT_EQ(b.status, 0) << tail_of(box.log());
        EXPECT_NE(b.out.find("received " + std::string(c.file_name) + " " + std::to_string(c.size) +
                             " bytes crc-ok"),
                  std::string::npos)
            << b.out;
        EXPECT_TRUE(same_bytes(bytes, read_file(out + "/" + c.file_name)));
        // The box times the loader after every data block's ACK but the last.
        const std::string timed = "PC turn-around, " + std::to_string(c.size / 1024) + " times";
        EXPECT_NE(box.log().find(timed), std::string::npos) << tail_of(box.log());
    } else {
        box.process.terminate();
        const Result b = box.process.wait(1s);
        EXPECT_EQ(b.out.find("received"), std::string::npos) << b.out;
        EXPECT_TRUE(fs::is_empty(out)) << "the box kept a file of a failed upload";
    }
}

INSTANTIATE_TEST_SUITE_P(E2E, AutomaticUpload, ::testing::ValuesIn(automatic_upload_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(UploadE2E, SigtermMidUploadHandsTheLineBackAndExits143) {
    const ScopedDir temp;
    const std::string& dir = temp.path;
    const std::string file = dir + "/fw.dsp";
    write_file(file, sample_bytes(200000));
    Box box({"--role", "bootloader", "--baud", "230400", "--pace", "--out", dir}, dir);
    ASSERT_EQ(box.slave.rfind("/dev/", 0), 0u) << box.slave;
    // A pseudo-terminal has one set of line settings, the slave's, which its
    // master reports too; any descriptor of it reads them.
    const int fd = open(box.slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    termios before{}, after{};
    ASSERT_EQ(tcgetattr(fd, &before), 0);

    auto env = velk2_env(dir + "/config");
    env["VELK2_COM1"] = box.slave;
    Background loader({VELK2_EXE, "(COM1){" + file + "}"}, env, dir);
    for (int i = 0; i < 500 && box.log().find("block 3 ok") == std::string::npos; ++i)
        std::this_thread::sleep_for(20ms);
    ASSERT_NE(box.log().find("block 3 ok"), std::string::npos) << tail_of(box.log());
    kill(loader.pid(), SIGTERM);
    const Result r = loader.wait(10s);

    EXPECT_EQ(r.status, 143) << tail_of(r.err);
    EXPECT_NE(r.err.find("ended by SIGTERM\n"), std::string::npos) << tail_of(r.err);
    EXPECT_EQ(tcgetattr(fd, &after), 0);
    close(fd);
    // Flags, control characters and rates as before, not 230400 raw.
    EXPECT_EQ(std::memcmp(&after, &before, sizeof before), 0)
        << "rate code " << cfgetospeed(&after) << ", before " << cfgetospeed(&before);
}

// A picture with some detail, so that the JPG is a few kilobytes.
std::string make_jpg(const std::string& path) {
    QImage image(160, 120, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixelColor(x, y, QColor((x * 7) & 0xFF, (y * 5) & 0xFF, (x * y) & 0xFF));
    if (!image.save(QString::fromStdString(path), "JPG", 90)) return {};
    return read_file(path);
}

// No command line uploads a picture: it goes as the window does it, through
// the file's preparation and "Upload to Box".
TEST(UploadE2E, WelcomePictureArrivesAsTheWrappedImage) {
    const ScopedDir temp;
    const std::string& dir = temp.path;
    const std::string out = dir + "/box";
    fs::create_directory(out);
    Box box({"--role", "bootloader", "--baud", "230400", "--once", "--timeout", "60", "--out", out},
            dir);
    ASSERT_EQ(box.slave.rfind("/dev/", 0), 0u) << box.slave;
    {
        StderrCapture err;
        InProcessLoader loader(dir, box.slave, {});
        Context& ctx = loader.ctx();
        const std::string picture = dir + "/welcome.jpg";
        const std::string jpg = make_jpg(picture);
        ASSERT_GT(jpg.size(), 1000u);
        ASSERT_LE(jpg.size(), std::size_t(jpg_dialog_limit));

        ctx.upload_file = picture;
        apply_selected_file(ctx);
        cm1_Click(ctx);
        EXPECT_TRUE(ctx.upload_done) << tail_of(err.text());

        const Result b = box.process.wait(10s);
        EXPECT_EQ(b.status, 0) << tail_of(box.log());
        std::vector<fs::path> received;
        for (const auto& e : fs::directory_iterator(out)) received.push_back(e.path());
        ASSERT_EQ(received.size(), 1u) << b.out;
        const std::string got = read_file(received[0]);

        // What the loader prepared ("rom.dsp" in its directory) is what came.
        EXPECT_TRUE(same_bytes(read_file(dir + "/rom.dsp"), got));
        EXPECT_TRUE(same_bytes(wrap_jpg(jpg), got));
        // And it has the shape the box expects: header mark, the picture after
        // the 64-byte header and the 112-byte head, an odd multiple of 512.
        EXPECT_EQ(got.size(), fs_image_total(jpg.size()));
        EXPECT_EQ(got.size() % 1024, 512u);
        EXPECT_EQ(got.substr(0, 32), "::::::::::::::::DIVAREVO20060410");
        EXPECT_TRUE(same_bytes(jpg, got.substr(64 + 0x70, jpg.size())));
    }
}

} // namespace
} // namespace velk2::e2e
