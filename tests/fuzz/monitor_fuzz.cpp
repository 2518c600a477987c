// Feeds the handling of the box monitor's replies in Getfuji, fuji Def,
// fuji Put, fuji Live and the service upload, on the headless platform:
//   byte 0   the operation: its value % 5 in the order above
//   2 bytes  service upload only: the data length % 5121, little-endian
//   then one reply for each write of the PC: a delay byte (10 ms steps), a
//   length byte (255: a 2-byte little-endian length follows) and the reply
//   bytes. A used-up input leaves the box silent.
// The block folders hold one block file each; the user holds the right mouse
// button down from 1 s on, which is what ends fuji Live.
// Must hold: no crash or undefined behaviour; every operation ends (a hang is
// reported by the fuzzer); the port closed and no exchange marked running
// afterwards; a fuji button enabled and captioned as before; nothing written
// after the abort request; "getfuji" at most a head and a trail (72 bytes);
// "read2" at most the first 2048 bytes of the data.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuji/fuji_def.h"
#include "fuji/fuji_live.h"
#include "fuji/fuji_put.h"
#include "fuji/getfuji.h"
#include "fuzz_bench.h"
#include "service/service_upload.h"

using namespace velk2;
using fuzz::check;

namespace {

void write_file(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::uintmax_t size_of(const std::string& path) {
    std::error_code ec;
    const std::uintmax_t n = std::filesystem::file_size(path, ec);
    return ec ? 0 : n;
}

struct Operation {
    const char* button; // "" for the service upload
    void (*click)(Context&);
};

const Operation operations[] = {
    {"cmgetfuji", cmgetfuji_Click},
    {"cmdeffuji", cmdeffuji_Click},
    {"cmputfuji", cmputfuji_Click},
    {"cmchgfuji", cmchgfuji_Click},
    {"", [](Context& c) { service_upload(c); }},
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t length) {
    fuzz::Input in{data, length};
    fuzz::Bench b;
    const Operation& op = operations[in.byte() % 5];
    std::size_t n = 0;
    if (!*op.button) {
        n = in.byte();
        n = (n | in.byte() << 8) % 5121;
        for (std::size_t i = 0; i < n; ++i) b.ctx.upload_data.push_back(char(i * 7));
        b.ctx.upload_file = b.dir + "/up.BIN";
        write_file(b.ctx.upload_file, b.ctx.upload_data);
    }
    write_file(b.dir + "/CHG/DEF/00CCA800.bin", std::string(64, '\x5A'));
    write_file(b.dir + "/CHG/PUT/0030DE80.bin", std::string(8, '\x5A'));

    b.line.on_write = [&in](HeadlessLine& line, const std::string&) {
        if (in.empty()) return;
        const std::int64_t delay_us = 1000 + in.byte() * 10'000;
        std::size_t count = in.byte();
        if (count == 255) {
            count = in.byte();
            count |= in.byte() << 8;
        }
        line.send(in.bytes(count), delay_us);
    };
    b.platform.abort_from_us = 1'000'000;
    const std::string caption = *op.button ? b.ctx.window.get(op.button).caption : "";

    op.click(b.ctx);

    check(!b.line.open && b.ctx.exchange == Exchange::none,
          "port left open or exchange left running");
    if (*op.button)
        check(b.ctx.window.get(op.button).enabled && b.ctx.window.get(op.button).caption == caption,
              "button left disabled or captioned otherwise");
    for (const HeadlessLine::Write& w : b.line.writes)
        check(w.at_us < b.platform.abort_from_us || op.click != cmchgfuji_Click,
              "fuji Live wrote after the abort request");
    check(size_of(b.dir + "/getfuji") <= 72, "getfuji holds more than a head and a trail");
    check(size_of(b.dir + "/read2") <= std::min<std::size_t>(n, 2048),
          "read2 holds more than was written");
    return 0;
}
