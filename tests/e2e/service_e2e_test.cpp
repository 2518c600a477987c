// The service upload and the fuji operations against velk2-boxsim's box
// monitor over a pseudo-terminal, the box mostly paced to the line rate. Only
// the automatic start with a BIN file comes from a command line; for the rest
// the loader runs in this process on the Qt platform and the buttons are
// pressed through the window (the service build) or, where the delivered
// build has no such button, by their handlers.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "e2e_support.h"
#include "shell/file_selection.h"
#include "shell/handlers.h"
#include "unit/hex_text.h"

namespace velk2::e2e {
namespace {

using namespace std::chrono_literals;
using test::from_hex;

// The box's memory, byte by byte, as its dump gives it.
using Memory = std::map<std::uint32_t, char>;

void put(Memory& memory, std::uint32_t address, const std::string& bytes) {
    for (char b : bytes) memory[address++] = b;
}

// A monitor starting at 38400 baud, its memory dumped on exit.
struct Monitor {
    std::string dump;
    Box box;
    Monitor(const std::string& dir, const std::string& preload, Link link, bool paced = true)
        : dump(dir + "/dump.txt"), box(args(dump, preload, link, paced), dir) {}

    static std::vector<std::string> args(const std::string& dump, const std::string& preload,
                                         Link link, bool paced) {
        std::vector<std::string> a{"--role", "monitor", "--dump", dump, "--timeout", "60"};
        if (paced) a.push_back("--pace");
        if (!preload.empty()) a.insert(a.end(), {"--preload", preload});
        return with_link(a, link);
    }

    // Waits until the box has logged `event` (its commands are carried out
    // at the line rate, after the loader may have closed the port).
    bool logged(const std::string& event, std::chrono::milliseconds limit) const {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (box.log().find(event) == std::string::npos) {
            if (std::chrono::steady_clock::now() >= end) return false;
            std::this_thread::sleep_for(20ms);
        }
        return true;
    }

    // Ends the simulator and reads its memory.
    Memory memory() {
        box.process.terminate();
        Memory memory;
        std::istringstream lines(read_file(dump));
        std::string line, word;
        while (std::getline(lines, line)) {
            std::istringstream fields(line);
            fields >> word;
            auto address = std::uint32_t(std::stoul(word, nullptr, 16));
            while (fields >> word) memory[address++] = char(std::stoul(word, nullptr, 16));
        }
        return memory;
    }
};

// The loader in this process presses `name` as the window makes it: through
// the wired control where the window has it, by `handler` where it has not.
// What it printed on standard error.
std::string press(const std::string& dir, const Monitor& monitor, const char* name,
                  void (*handler)(Context&), const std::function<void(Context&)>& before,
                  const std::function<void(Context&)>& after) {
    StderrCapture err;
    InProcessLoader loader(dir, monitor.box.slave, {});
    Context& ctx = loader.ctx();
    before(ctx);
    if (Control* c = ctx.window.find(name)) {
        EXPECT_TRUE(c->enabled) << name;
        c->on_click();
        EXPECT_TRUE(c->enabled) << name;
    } else {
        handler(ctx);
    }
    EXPECT_EQ(ctx.exchange, Exchange::none);
    EXPECT_FALSE(ctx.port && ctx.port->is_open());
    after(ctx);
    return err.text();
}

constexpr std::uint32_t service_address = 0x008E0000;
constexpr std::uint32_t fuji_block = 0x00CCA800;

class ServiceE2E : public ::testing::TestWithParam<Link> {};
VELK2_OVER_EVERY_LINK(ServiceE2E);

TEST_P(ServiceE2E, ServiceUploadLandsAtTheServiceAddressAndReadsBackAtTheLineRate) {
    const ScopedDir temp;
    const std::string& dir = temp.path;
    const std::string data = sample_bytes(4096, 41);
    write_file(dir + "/service.bin", data);
    Monitor monitor(dir, "", GetParam());

    const std::string err = press(
        dir, monitor, "cmbinup", cmbinup_Click,
        [&](Context& ctx) {
            ctx.upload_file = dir + "/service.bin";
            apply_selected_file(ctx);
        },
        [](Context&) {});
    const Memory memory = monitor.memory();

    Memory expected;
    put(expected, service_address, data);
    EXPECT_TRUE(memory == expected) << memory.size() << " bytes set; " << tail_of(err);
    EXPECT_TRUE(same_bytes(data.substr(0, 2048), read_file(dir + "/read2")))
        << tail_of(monitor.box.log());
    // Switched up and back down again.
    EXPECT_NE(monitor.box.log().find("speed 38400 -> 230400"), std::string::npos);
    EXPECT_NE(monitor.box.log().find("speed 230400 -> 38400"), std::string::npos);
}

// Start-up with a BIN file runs the service upload by itself, in both
// builds; the program stays open afterwards and is ended by the test.
TEST_P(ServiceE2E, AutomaticStartWithABinFileRunsTheServiceUpload) {
    const ScopedDir temp;
    const std::string& dir = temp.path;
    const std::string data = sample_bytes(3072, 43);
    write_file(dir + "/start.bin", data);
    Monitor monitor(dir, "", GetParam(), false);

    auto env = velk2_env(dir + "/config");
    env["VELK2_COM1"] = monitor.box.slave;
    Background velk2({VELK2_EXE, "(COM1){" + dir + "/start.bin}"}, env, dir);
    const bool read_back = monitor.logged("read 1024 bytes from 008E0400", 20s);
    std::string read2;
    for (int i = 0; i < 100 && read2.size() < 2048; ++i) {
        std::this_thread::sleep_for(20ms);
        read2 = read_file(dir + "/read2");
    }
    velk2.terminate();
    const Memory memory = monitor.memory();

    ASSERT_TRUE(read_back) << tail_of(monitor.box.log());
    Memory expected;
    put(expected, service_address, data);
    EXPECT_TRUE(memory == expected) << memory.size() << " bytes set";
    EXPECT_TRUE(same_bytes(data.substr(0, 2048), read2));
}

// A fuji block: head with its fields, n = 0x10, 32 bytes of variable part,
// then the trail; preloaded into the box.
std::string fuji_block_file(const std::string& dir) {
    std::string head = sample_bytes(64, 7);
    head.replace(36, 4, from_hex("78 56 34 12"));
    head.replace(40, 8, "VELK2BOX");
    head[54] = 3;
    head[55] = 17;
    head.replace(60, 4, from_hex("10 00 00 00"));
    const std::string block = head + sample_bytes(32, 8) + from_hex("A1 B2 C3 D4 0D F0 FE CA");
    write_file(dir + "/fuji.bin", block);
    return block;
}

TEST_P(ServiceE2E, GetfujiWritesHeadAndTrailAndTheSummaryTitle) {
    const ScopedDir temp;
    const std::string& dir = temp.path;
    const std::string block = fuji_block_file(dir);
    Monitor monitor(dir, "CCA800:" + dir + "/fuji.bin", GetParam());

    std::string title;
    const std::string err = press(
        dir, monitor, "cmgetfuji", cmgetfuji_Click, [](Context&) {},
        [&](Context& ctx) { title = ctx.window.title; });
    const Memory memory = monitor.memory();

    EXPECT_TRUE(same_bytes(block.substr(0, 64) + block.substr(96, 8), read_file(dir + "/getfuji")))
        << tail_of(err) << tail_of(monitor.box.log());
    EXPECT_EQ(title, "3:17 VELK2BOX/ 12345678/ CAFEF00D");
    // The trail was read from after the variable part: 0x00CCA800 + 64 + 2 * 0x10.
    EXPECT_NE(monitor.box.log().find("read 8 bytes from 00CCA860"), std::string::npos);
    Memory preloaded;
    put(preloaded, fuji_block, block);
    EXPECT_TRUE(memory == preloaded) << "Getfuji changed the box's memory";
}

// The simulator takes the PC's rate as it stands when it reads the bytes. The
// loader hands the line back as it found it when it closes the port, right
// after fuji Def's last block write: found at the simulator's idle 9600, the
// block writes would count as noise whenever the simulator reads them a
// moment after the close. A line left at 38400 by an earlier session keeps
// them at the box's rate, as the wire itself would.
bool leave_line_at_38400(const std::string& device) {
    const int fd = open(device.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) return false;
    termios t{};
    bool ok = tcgetattr(fd, &t) == 0;
    cfmakeraw(&t);
    ok = ok && cfsetispeed(&t, B38400) == 0 && cfsetospeed(&t, B38400) == 0 &&
         tcsetattr(fd, TCSANOW, &t) == 0;
    close(fd);
    return ok;
}

TEST_P(ServiceE2E, FujiDefPokesTheDefaultsThenWritesTheBlockFiles) {
    const ScopedDir temp;
    const std::string& dir = temp.path;
    const std::string block = fuji_block_file(dir);
    // The block folder below the setting "DIR", which ends with its separator.
    const std::string folder = dir + "/bench/CHG/DEF/";
    std::filesystem::create_directories(folder + "sub.bin");
    const std::string head = sample_bytes(64, 9);
    const std::string patch = sample_bytes(8, 10);
    write_file(folder + "00CCA800.bin", head);
    write_file(folder + "0030DE80.BIN", patch); // over the first poke
    write_file(folder + "00400000.bin", "6bytes");
    write_file(folder + "00500000.txt", sample_bytes(8, 11));
    Monitor monitor(dir, "CCA800:" + dir + "/fuji.bin", GetParam());
    ASSERT_TRUE(leave_line_at_38400(monitor.box.slave));

    const std::string err = press(
        dir, monitor, "cmdeffuji", cmdeffuji_Click,
        [&](Context& ctx) { ctx.platform.store_setting("DIR", "DIR", dir + "/bench/"); },
        [](Context&) {});
    ASSERT_TRUE(monitor.logged("write 64 bytes to 00CCA800", 5s))
        << tail_of(monitor.box.log()) << tail_of(err);
    const Memory memory = monitor.memory();

    Memory expected;
    put(expected, fuji_block, block);
    put(expected, 0x0030DE80, from_hex("00 80 00 00"));
    put(expected, 0x0030DD88, from_hex("00 00 0F 00"));
    put(expected, 0x005EDC88, "%04d%02d%02d");
    put(expected, 0x005EDCA0, std::string(":%02x:%02d\0\0", 12));
    put(expected, 0x004131A0, "REDUZIDI");
    put(expected, 0x0030DE80, patch);
    put(expected, fuji_block, head);
    EXPECT_TRUE(memory == expected) << memory.size() << " bytes set, " << expected.size()
                                    << " expected; " << tail_of(monitor.box.log());
    EXPECT_NE(err.find("passed over 00400000.bin"), std::string::npos) << tail_of(err);
    EXPECT_NE(err.find("passed over sub.bin"), std::string::npos) << tail_of(err);
}

} // namespace
} // namespace velk2::e2e
