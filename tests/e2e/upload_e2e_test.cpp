// Uploads from the real loader to velk2-boxsim's bootloader over a
// pseudo-terminal: the box must store exactly the bytes the loader meant to
// send, and the automatic command-line upload must tell a flashed box from a
// failed one by its exit status.
#include <gtest/gtest.h>

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
#include "upload/jpg_wrap.h"

namespace velk2::e2e {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class UploadE2E : public ::testing::TestWithParam<Link> {};
VELK2_OVER_EVERY_LINK(UploadE2E);

TEST_P(UploadE2E, BoxStoresExactlyTheFileAndExitStatusTellsTheOutcome) {
    // Unpaced except one small file: the pacing proves the loader's reads and
    // pauses hold at the line rate; the others prove the bytes, quickly.
    const struct {
        std::vector<std::string> box_args; // added to --role bootloader --once
        const char* file_name;
        std::size_t size;
        int exit_status;
        const char* loader_says; // on standard error
    } cases[] = {
        // 293 blocks: the block number wraps from 255 to 0 on the way.
        {{"--baud", "230400"}, "FW_230.dsp", 300000, 0, "done"},
        // The box answers at 115200 only: the garbled "C" brings the switch.
        {{"--baud", "115200"}, "fw_fallback.DSP", 270001, 0, "done"},
        {{"--baud", "230400", "--pace"}, "paced.dsp", 24000, 0, "done"},
        {{"--fault", "nak-block=2"}, "nak.dsp", 50000, 1, "input byte 0x06<>15 "},
        {{"--fault", "silent"}, "silent.dsp", 50000, 1, "time end"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file_name);
        const ScopedDir temp;
        const std::string& dir = temp.path;
        const std::string out = dir + "/box", file = dir + "/" + c.file_name;
        fs::create_directory(out);
        const std::string bytes = sample_bytes(c.size, unsigned(c.size));
        write_file(file, bytes);
        std::vector<std::string> args{"--role", "bootloader", "--once", "--timeout",
                                      "60",     "--out",      out};
        args.insert(args.end(), c.box_args.begin(), c.box_args.end());
        Box box(with_link(args, GetParam()), dir);
        ASSERT_EQ(box.slave.rfind("/dev/", 0), 0u) << box.slave;

        auto env = velk2_env(dir + "/config");
        env["VELK2_COM1"] = box.slave;
        const Result r = run({VELK2_EXE, "(COM1){" + file + "}"}, env, dir, 60s);
        EXPECT_EQ(r.status, c.exit_status) << tail_of(r.err);
        EXPECT_NE(r.err.find(c.loader_says), std::string::npos) << tail_of(r.err);
        if (c.exit_status == 0) {
            const Result b = box.process.wait(10s);
            EXPECT_EQ(b.status, 0) << tail_of(box.log());
            EXPECT_NE(b.out.find("received " + std::string(c.file_name) + " " +
                                 std::to_string(c.size) + " bytes crc-ok"),
                      std::string::npos)
                << b.out;
            EXPECT_TRUE(same_bytes(bytes, read_file(out + "/" + c.file_name)));
            // The box times the loader after every data block's ACK but the
            // last (a payload of whole blocks gets one more block of zeros).
            const std::string timed = "PC turn-around, " + std::to_string(c.size / 1024) + " times";
            EXPECT_NE(box.log().find(timed), std::string::npos) << tail_of(box.log());
        } else {
            box.process.terminate();
            EXPECT_EQ(box.process.wait(1s).out.find("received"), std::string::npos);
            EXPECT_TRUE(fs::is_empty(out)) << "the box kept a file of a failed upload";
        }
    }
}

TEST_P(UploadE2E, SigtermMidUploadHandsTheLineBackAndExits143) {
    const ScopedDir temp;
    const std::string& dir = temp.path;
    const std::string file = dir + "/fw.dsp";
    write_file(file, sample_bytes(200000));
    Box box(
        with_link({"--role", "bootloader", "--baud", "230400", "--pace", "--out", dir}, GetParam()),
        dir);
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

// No command line uploads a picture: it goes as the window does it, through
// the file's preparation and "Upload to Box".
TEST_P(UploadE2E, WelcomePictureArrivesAsTheWrappedImage) {
    const ScopedDir temp;
    const std::string& dir = temp.path;
    const std::string out = dir + "/box";
    fs::create_directory(out);
    Box box(with_link({"--role", "bootloader", "--baud", "230400", "--once", "--timeout", "60",
                       "--out", out},
                      GetParam()),
            dir);
    ASSERT_EQ(box.slave.rfind("/dev/", 0), 0u) << box.slave;
    const std::string jpg = "\xFF\xD8\xFF\xE0" + sample_bytes(5000);
    write_file(dir + "/welcome.jpg", jpg);
    {
        StderrCapture err;
        InProcessLoader loader(dir, box.slave, {});
        loader.ctx().upload_file = dir + "/welcome.jpg";
        apply_selected_file(loader.ctx());
        cm1_Click(loader.ctx());
        EXPECT_TRUE(loader.ctx().upload_done) << tail_of(err.text());
    }
    const Result b = box.process.wait(10s);
    EXPECT_EQ(b.status, 0) << tail_of(box.log());
    std::vector<fs::path> received;
    for (const auto& e : fs::directory_iterator(out)) received.push_back(e.path());
    ASSERT_EQ(received.size(), 1u) << b.out;
    const std::string got = read_file(received[0]);
    EXPECT_TRUE(same_bytes(wrap_jpg(jpg), got));
    EXPECT_TRUE(same_bytes(read_file(dir + "/rom.dsp"), got)); // as the loader prepared it
    // The header mark, and the picture after the 64-byte header and the 112-byte head.
    EXPECT_EQ(got.substr(0, 32), "::::::::::::::::DIVAREVO20060410");
    EXPECT_TRUE(same_bytes(jpg, got.substr(64 + 0x70, jpg.size())));
}

} // namespace
} // namespace velk2::e2e
