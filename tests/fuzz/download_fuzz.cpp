// Feeds "Download from Box" (cg1_Click) on the headless platform with a box
// whose side of the exchange comes from the input:
//   byte 0   bits 0-1: the box answers only at 230400 (1), only at 115200 (2),
//            else at both; bit 2: the file dialog is cancelled; bit 3: the
//            name chosen lacks ".DSP"; bit 4: the size below counts in 64 KiB
//   byte 1   the box hears no "C" before this many 250 ms steps
//   byte 2   length L of the file name in the header, then L name bytes
//   2 bytes  the size the header announces, little-endian
//   byte     not 0: XORed into header byte (its value % 133)
//   then one byte for each later request of the PC: bits 0-1 the answer (0
//   right, 1 one byte changed, 2 cut to (bits 2-7) / 64 of its length,
//   3 none), bits 2-7 its delay in 100 ms steps. A used-up input answers
//   right at once. Blocks carry a fixed pattern.
// Must hold: no crash or undefined behaviour; after every run the port is
// closed and the button enabled; the folder holds no file but the chosen one
// (and the line record "dcb1"); a saved file holds exactly the announced
// size of the box's data, and no more than a download takes.
#include <fstream>
#include <iterator>
#include <string>

#include "download/download_receive.h"
#include "download/ymodem_header.h"
#include "fuzz_bench.h"
#include "upload/crc16.h"

using namespace velk2;
using fuzz::check;

namespace {

char data_byte(std::size_t i) {
    return static_cast<char>((i * 2654435761u) >> 24);
}

std::string with_crc(std::string head, const std::string& field) {
    const std::uint16_t crc = crc16(field);
    return head + field + char(crc >> 8) + char(crc & 0xFF);
}

std::string header_block(std::string name, std::uint32_t size) {
    for (char& c : name) c = c ? c : '_'; // the size follows the first 0x00
    std::string field = name.substr(0, 116) + '\0' + std::to_string(size) + '\0';
    field.resize(128, 'x');
    return with_crc({'\x01', '\x00', '\xFF'}, field);
}

std::string data_block(std::uint32_t k, std::uint32_t size) {
    std::string payload(1024, '\x1A');
    for (std::size_t i = 0; i < 1024 && (k - 1) * 1024 + i < size; ++i)
        payload[i] = data_byte((k - 1) * 1024 + i);
    return with_crc({'\x02', char(k), char(255 - k)}, payload);
}

struct Box {
    fuzz::Input& in;
    int rates;
    std::int64_t hears_from_us;
    std::string header;
    std::uint32_t size;
    std::uint32_t blocks_sent = 0;
    bool header_sent = false;
    bool ended = false; // the PC has sent its end of transfer

    void answer(HeadlessLine& line, const std::string& w) {
        if ((rates == 1 && line.baud != "230400") || (rates == 2 && line.baud != "115200")) return;
        const std::int64_t gap_us = 10'000'000 / std::stoi(line.baud);
        if (!header_sent) {
            if (w != "C" || line.now_us() < hears_from_us) return;
            header_sent = true;
            line.send(header, 1000, gap_us);
            return;
        }
        std::string reply;
        if (w == "\x15\x06") {
            ended = true;
            reply = "\x04";
        } else if (w == "C") {
            if (!ended) return; // a later ask for the header
            reply = with_crc({'\x01', '\x00', '\xFF'}, std::string(128, '\0'));
        } else {
            reply = data_block(++blocks_sent, size);
        }
        const std::uint8_t op = in.byte();
        std::int64_t delay_us = 1000 + (op >> 2) * 100'000;
        switch (op & 3) {
        case 1:
            reply[reply.size() == 1029 ? 3 + (op >> 2) * 16 : 0] ^= 0x5A;
            break;
        case 2:
            reply.resize(reply.size() * (op >> 2) / 64);
            delay_us = 1000;
            break;
        case 3:
            return;
        }
        line.send(reply, delay_us, gap_us);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t length) {
    fuzz::Input in{data, length};
    fuzz::Bench b;
    const std::uint8_t flags = in.byte();
    const std::int64_t hears_from_us = in.byte() * 250'000;
    const std::string name = in.bytes(in.byte());
    std::uint32_t size = in.byte();
    size |= in.byte() << 8;
    if (flags & 16) size <<= 16;
    std::string header = header_block(name, size);
    if (const std::uint8_t damage = in.byte()) header[damage % 133] ^= damage;

    Box box{in, flags & 3, hears_from_us, header, size};
    b.line.on_write = [&box](HeadlessLine& l, const std::string& w) { box.answer(l, w); };
    const std::string chosen = b.dir + "/dl.DSP";
    b.platform.file_answers.push_back(
        flags & 4 ? "" : chosen.substr(0, flags & 8 ? chosen.size() - 4 : chosen.size()));

    cg1_Click(b.ctx);

    check(!b.line.open && b.ctx.transfer_state == 0 && b.ctx.window.get("cg1").enabled,
          "download left the port open or the button disabled");
    for (const auto& entry : std::filesystem::directory_iterator(b.dir)) {
        const std::string file = entry.path().filename();
        check(file == "dl.DSP" || file == "dcb1", "a file other than the chosen one");
    }
    std::ifstream file(chosen, std::ios::binary);
    if (!file) return 0;
    const std::string saved{std::istreambuf_iterator<char>(file), {}};
    check(saved.size() == size && size <= download_max_size,
          "saved file is not of the announced size, or above the limit");
    for (std::size_t i = 0; i < saved.size(); ++i)
        check(saved[i] == data_byte(i), "saved file differs from the box's data");
    return 0;
}
