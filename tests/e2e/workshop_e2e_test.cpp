// The simulator's workshop bench against the real loader: a box switched on
// after the loader started listening, a box that restarts into its
// bootloader after a flash (and so takes a second upload), and a swap. Each
// upload lands as a file of its own, byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace velk2::e2e {
namespace {

using namespace std::chrono_literals;

TEST(WorkshopE2E, BoxesThatComeAndGoTakeEachUploadWhole) {
    const struct {
        const char* what;
        std::vector<std::string> box_args; // added to --role bootloader --number-files
        int loader_runs;                   // one after the other, each an automatic upload
        const char* box_says;              // the simulator's standard output after its pty
    } cases[] = {
        {"a box switched on 2 s after the loader began to listen",
         {"--appear-after", "2"},
         1,
         "box 1 here\nreceived 1-fw.dsp 30000 bytes crc-ok\n"},
        {"a box that restarts into its bootloader is flashed again by the next upload",
         {"--restart-for", "5"},
         2,
         "box 1 here\nreceived 1-fw.dsp 30000 bytes crc-ok\nbox 1 restarted\n"
         "received 2-fw.dsp 30000 bytes crc-ok\nbox 1 restarted\n"},
        {"a swap: the second upload goes to a new box that asks 1.5 s after the first left",
         {"--swap-after", "1.5", "--boxes", "2"},
         2,
         "box 1 here\nreceived 1-fw.dsp 30000 bytes crc-ok\nbox 1 gone\nbox 2 here\n"
         "received 2-fw.dsp 30000 bytes crc-ok\nbox 2 gone\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ScopedDir temp;
        const std::string& dir = temp.path;
        const std::string out = dir + "/box", file = dir + "/fw.dsp";
        std::filesystem::create_directory(out);
        const std::string bytes = sample_bytes(30000, 7);
        write_file(file, bytes);
        std::vector<std::string> args{"--role", "bootloader", "--number-files", "--timeout", "60",
                                      "--out",  out};
        args.insert(args.end(), c.box_args.begin(), c.box_args.end());
        Box box(args, dir);
        ASSERT_EQ(box.slave.rfind("/dev/", 0), 0u) << box.slave;
        auto env = velk2_env(dir + "/config");
        env["VELK2_COM1"] = box.slave;
        for (int run_number = 1; run_number <= c.loader_runs; ++run_number) {
            const Result r = velk2::e2e::run({VELK2_EXE, "(COM1){" + file + "}"}, env, dir, 60s);
            EXPECT_EQ(r.status, 0) << "run " << run_number << "\n" << tail_of(r.err);
        }
        box.process.terminate();
        const Result b = box.process.wait(0s);
        EXPECT_EQ(b.out, box.slave + "\n" + c.box_says) << tail_of(box.log());
        for (int k = 1; k <= c.loader_runs; ++k)
            EXPECT_TRUE(same_bytes(bytes, read_file(out + "/" + std::to_string(k) + "-fw.dsp")));
    }
}

} // namespace
} // namespace velk2::e2e
