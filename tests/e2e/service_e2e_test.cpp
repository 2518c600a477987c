// The service upload and the fuji operations against velk2-boxsim's box
// monitor over a pseudo-terminal, the box mostly paced to the line rate. Only
// the automatic start with a BIN file comes from a command line; for the rest
// the loader runs in this process on the Qt platform and the buttons are
// pressed through the window (the service build) or, where the delivered
// build has no such button, by their handlers.
#include <gtest/gtest.h>

#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

#include "e2e_support.h"
#include "fuji/fuji_def.h"
#include "fuji/getfuji.h"
#include "service/service_upload.h"
#include "shell/file_selection.h"
#include "shell/handlers.h"

namespace velk2::e2e {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The box's memory, byte by byte, as its dump gives it.
using Memory = std::map<std::uint32_t, unsigned char>;

Memory parse_dump(const std::string& text) {
    Memory memory;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string word;
        fields >> word;
        std::uint32_t address = std::uint32_t(std::stoul(word, nullptr, 16));
        while (fields >> word)
            memory[address++] = static_cast<unsigned char>(std::stoul(word, nullptr, 16));
    }
    return memory;
}

void put(Memory& memory, std::uint32_t address, const std::string& bytes) {
    for (char b : bytes) memory[address++] = static_cast<unsigned char>(b);
}

std::string bytes_at(const Memory& memory, std::uint32_t address, std::size_t n) {
    std::string bytes;
    for (std::size_t i = 0; i < n; ++i) {
        auto it = memory.find(address + std::uint32_t(i));
        if (it == memory.end()) break;
        bytes.push_back(static_cast<char>(it->second));
    }
    return bytes;
}

std::string from_hex(const std::string& hex) {
    std::string bytes;
    std::istringstream words(hex);
    std::string word;
    while (words >> word) bytes.push_back(static_cast<char>(std::stoul(word, nullptr, 16)));
    return bytes;
}

// A monitor starting at 38400 baud, its memory dumped on exit.
struct MonitorBox {
    std::string dump;
    Box box;
    MonitorBox(const std::string& dir, const std::vector<std::string>& preload, bool paced = true)
        : dump(dir + "/dump.txt"), box(monitor_args(dump, preload, paced), dir) {}

    static std::vector<std::string>
    monitor_args(const std::string& dump, const std::vector<std::string>& preload, bool paced) {
        std::vector<std::string> args{"--role", "monitor", "--dump", dump, "--timeout", "60"};
        if (paced) args.push_back("--pace");
        for (const auto& p : preload) args.insert(args.end(), {"--preload", p});
        return args;
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
        return parse_dump(read_file(dump));
    }
};

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

// A press of the button `name` as the window makes it: through the wired
// control where the window has it, by `handler` where it has not.
void press(Context& ctx, const char* name, void (*handler)(Context&)) {
    if (Control* c = ctx.window.find(name)) {
        ASSERT_TRUE(c->enabled) << name;
        c->on_click();
    } else {
        handler(ctx);
    }
}

constexpr std::uint32_t service_address = 0x008E0000;
constexpr std::uint32_t fuji_block = 0x00CCA800;

TEST(ServiceE2E, ServiceUploadLandsAtTheServiceAddressAndReadsBackAtTheLineRate) {
    const ScopedDir temp;
    const std::string& dir = temp.path;
    const std::string data = sample_bytes(4096, 41);
    write_file(dir + "/service.bin", data);
    MonitorBox monitor(dir, {});
    ASSERT_EQ(monitor.box.slave.rfind("/dev/", 0), 0u) << monitor.box.slave;

    std::string err_text;
    {
        StderrCapture err;
        InProcessLoader loader(dir, monitor.box.slave, {});
        Context& ctx = loader.ctx();
        ctx.upload_file = dir + "/service.bin";
        apply_selected_file(ctx);
        press(ctx, "cmbinup", cmbinup_Click);
        EXPECT_EQ(ctx.exchange, Exchange::none);
        EXPECT_FALSE(ctx.port && ctx.port->is_open());
        err_text = err.text();
    }
    const Memory memory = monitor.memory();

    Memory expected;
    put(expected, service_address, data);
    EXPECT_TRUE(memory == expected) << memory.size() << " bytes set; " << tail_of(err_text);
    EXPECT_TRUE(same_bytes(data, bytes_at(memory, service_address, 4096)));
    EXPECT_TRUE(same_bytes(data.substr(0, 2048), read_file(dir + "/read2")))
        << tail_of(monitor.box.log());
    // Switched up and back down again.
    EXPECT_NE(monitor.box.log().find("speed 38400 -> 230400"), std::string::npos);
    EXPECT_NE(monitor.box.log().find("speed 230400 -> 38400"), std::string::npos);
}

// Start-up with a BIN file runs the service upload by itself, in both
// builds; the program stays open afterwards and is ended by the test.
TEST(ServiceE2E, AutomaticStartWithABinFileRunsTheServiceUpload) {
    const ScopedDir temp;
    const std::string& dir = temp.path;
    const std::string file = dir + "/start.bin";
    const std::string data = sample_bytes(3072, 43);
    write_file(file, data);
    MonitorBox monitor(dir, {}, false);
    ASSERT_EQ(monitor.box.slave.rfind("/dev/", 0), 0u) << monitor.box.slave;

    auto env = velk2_env(dir + "/config");
    env["VELK2_COM1"] = monitor.box.slave;
    Background velk2({VELK2_EXE, "(COM1){" + file + "}"}, env, dir);
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
// then the trail.
std::string fuji_block_bytes() {
    std::string head = sample_bytes(64, 7);
    head.replace(36, 4, from_hex("78 56 34 12"));
    head.replace(40, 8, "VELK2BOX");
    head[54] = 3;
    head[55] = 17;
    head.replace(60, 4, from_hex("10 00 00 00"));
    const std::string trail = from_hex("A1 B2 C3 D4 0D F0 FE CA");
    return head + sample_bytes(32, 8) + trail;
}

TEST(ServiceE2E, GetfujiWritesHeadAndTrailAndTheSummaryTitle) {
    const ScopedDir temp;
    const std::string& dir = temp.path;
    const std::string block = fuji_block_bytes();
    write_file(dir + "/fuji.bin", block);
    MonitorBox monitor(dir, {"CCA800:" + dir + "/fuji.bin"});
    ASSERT_EQ(monitor.box.slave.rfind("/dev/", 0), 0u) << monitor.box.slave;

    std::string title, err_text;
    {
        StderrCapture err;
        InProcessLoader loader(dir, monitor.box.slave, {});
        press(loader.ctx(), "cmgetfuji", cmgetfuji_Click);
        title = loader.ctx().window.title;
        err_text = err.text();
    }
    const Memory memory = monitor.memory();

    EXPECT_TRUE(same_bytes(block.substr(0, 64) + block.substr(96, 8), read_file(dir + "/getfuji")))
        << tail_of(err_text) << tail_of(monitor.box.log());
    EXPECT_EQ(title, "3:17 VELK2BOX/ 12345678/ CAFEF00D");
    // The trail was read from after the variable part: 0x00CCA800 + 64 + 2 * 0x10.
    EXPECT_NE(monitor.box.log().find("read 8 bytes from 00CCA860"), std::string::npos);
    Memory preloaded;
    put(preloaded, fuji_block, block);
    EXPECT_TRUE(memory == preloaded) << "Getfuji changed the box's memory";
}

TEST(ServiceE2E, FujiDefPokesTheDefaultsThenWritesTheBlockFiles) {
    const ScopedDir temp;
    const std::string& dir = temp.path;
    const std::string block = fuji_block_bytes();
    write_file(dir + "/fuji.bin", block);
    // The block folder below the setting "DIR", which ends with its separator.
    const std::string bench = dir + "/bench/";
    fs::create_directories(bench + "CHG/DEF/sub.bin");
    const std::string head = sample_bytes(64, 9);
    const std::string patch = sample_bytes(8, 10);
    write_file(bench + "CHG/DEF/00CCA800.bin", head);
    write_file(bench + "CHG/DEF/0030DE80.BIN", patch); // over the first poke
    write_file(bench + "CHG/DEF/00400000.bin", "6bytes");
    write_file(bench + "CHG/DEF/00500000.txt", sample_bytes(8, 11));
    MonitorBox monitor(dir, {"CCA800:" + dir + "/fuji.bin"});
    ASSERT_EQ(monitor.box.slave.rfind("/dev/", 0), 0u) << monitor.box.slave;
    ASSERT_TRUE(leave_line_at_38400(monitor.box.slave));

    std::string err_text, caption;
    {
        StderrCapture err;
        InProcessLoader loader(dir, monitor.box.slave, {});
        loader.ctx().platform.store_setting("DIR", "DIR", bench);
        press(loader.ctx(), "cmdeffuji", cmdeffuji_Click);
        if (const Control* c = loader.ctx().window.find("cmdeffuji")) {
            EXPECT_TRUE(c->enabled);
            caption = c->caption;
        }
        err_text = err.text();
    }
    ASSERT_TRUE(monitor.logged("write 64 bytes to 00CCA800", 5s))
        << tail_of(monitor.box.log()) << tail_of(err_text);
    const Memory memory = monitor.memory();

    Memory expected;
    put(expected, fuji_block, block);
    const std::pair<std::uint32_t, const char*> pokes[] = {
        {0x0030DE80, "00 80 00 00"}, {0x0030DD88, "00 00 0F 00"}, {0x005EDC88, "25 30 34 64"},
        {0x005EDC8C, "25 30 32 64"}, {0x005EDC90, "25 30 32 64"}, {0x005EDCA0, "3A 25 30 32"},
        {0x005EDCA4, "78 3A 25 30"}, {0x005EDCA8, "32 64 00 00"}, {0x004131A0, "52 45 44 55"},
        {0x004131A4, "5A 49 44 49"},
    };
    for (const auto& [address, value] : pokes) put(expected, address, from_hex(value));
    put(expected, 0x0030DE80, patch);
    put(expected, fuji_block, head);
    EXPECT_TRUE(memory == expected) << memory.size() << " bytes set, " << expected.size()
                                    << " expected; " << tail_of(monitor.box.log());
    EXPECT_EQ(bytes_at(memory, 0x005EDC88, 4), "%04d");
    EXPECT_TRUE(same_bytes(head, bytes_at(memory, fuji_block, 64)));
    EXPECT_NE(err_text.find("passed over 00400000.bin"), std::string::npos) << tail_of(err_text);
    EXPECT_NE(err_text.find("passed over sub.bin"), std::string::npos) << tail_of(err_text);
    if (!caption.empty()) {
        EXPECT_EQ(caption, "fuji Def");
    }
}

} // namespace
} // namespace velk2::e2e
