#include "reference_peer.h"

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <optional>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace bench {
namespace {

constexpr char soh = 0x01;
constexpr char stx = 0x02;
constexpr char eot = 0x04;
constexpr char ack = 0x06;
constexpr char nak = 0x15;
constexpr char request_c = 'C';
constexpr std::size_t short_block = 128;
constexpr std::size_t long_block = 1024;
constexpr std::size_t long_packet = long_block + 5;
constexpr std::size_t short_packet = short_block + 5;

// CRC-16/XMODEM (polynomial 0x1021, start 0), as YMODEM's CRC mode uses it.
std::uint16_t crc16(const std::string& data) {
    std::uint16_t crc = 0;
    for (const char c : data) {
        crc ^= static_cast<std::uint16_t>(static_cast<unsigned char>(c) << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021)
                                 : static_cast<std::uint16_t>(crc << 1);
    }
    return crc;
}

std::string packet(char start, unsigned number, const std::string& data) {
    const auto n = static_cast<unsigned char>(number & 0xFF);
    std::string p{start, static_cast<char>(n), static_cast<char>(0xFF - n)};
    p += data;
    const std::uint16_t crc = crc16(data);
    p += static_cast<char>(crc >> 8);
    p += static_cast<char>(crc & 0xFF);
    return p;
}

// The PC's end of the pseudo-terminal: raw 8N1 at the box's rate.
class Port {
  public:
    Port(const std::string& device, int baud) {
        fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        termios t{};
        if (fd_ < 0 || tcgetattr(fd_, &t) != 0) return;
        cfmakeraw(&t);
        const speed_t speed = baud == 115200 ? B115200 : B230400;
        cfsetispeed(&t, speed);
        cfsetospeed(&t, speed);
        ok_ = tcsetattr(fd_, TCSANOW, &t) == 0 && tcflush(fd_, TCIFLUSH) == 0;
    }
    ~Port() {
        if (fd_ >= 0) ::close(fd_);
    }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    bool ok() const { return ok_; }

    bool send(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t k = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (k > 0) {
                done += static_cast<std::size_t>(k);
            } else if (k < 0 && (errno == EAGAIN || errno == EINTR)) {
                pollfd p{fd_, POLLOUT, 0};
                poll(&p, 1, 100);
            } else {
                return false;
            }
        }
        return true;
    }

    // Exactly n bytes, or fewer when `wait` passes first.
    std::string receive(std::size_t n, std::chrono::milliseconds wait) {
        std::string got;
        const Clock::time_point limit = Clock::now() + wait;
        char buf[2048];
        while (got.size() < n) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(limit - Clock::now());
            if (left.count() < 0) break;
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count()) + 1) <= 0) continue;
            const ssize_t k = ::read(fd_, buf, std::min(sizeof buf, n - got.size()));
            if (k > 0) got.append(buf, static_cast<std::size_t>(k));
        }
        return got;
    }

  private:
    int fd_ = -1;
    bool ok_ = false;
};

constexpr std::chrono::milliseconds answer_wait{5000};

// Block 0, the data blocks, EOT, EOT, the closing block. Empty when fine.
std::string upload(Port& port, const std::string& data, const std::string& name, double& phase) {
    if (port.receive(1, answer_wait) != std::string(1, request_c)) return "no C from the box";
    std::string header = name + '\0' + std::to_string(data.size());
    header.resize(short_block, '\0');
    if (!port.send(packet(soh, 0, header))) return "write failed";
    if (port.receive(2, answer_wait) != std::string{ack, request_c}) return "block 0 refused";
    const std::size_t blocks = data.size() / long_block;
    const Clock::time_point start = Clock::now();
    for (std::size_t k = 0; k < blocks; ++k) {
        if (!port.send(
                packet(stx, static_cast<unsigned>(k + 1), data.substr(k * long_block, long_block))))
            return "write failed";
        if (port.receive(1, answer_wait) != std::string(1, ack))
            return "block " + std::to_string(k + 1) + " not acknowledged";
    }
    phase = std::chrono::duration<double>(Clock::now() - start).count();
    if (!port.send(std::string(1, eot)) || port.receive(1, answer_wait) != std::string(1, nak))
        return "first EOT not answered with NAK";
    if (!port.send(std::string(1, eot)) || port.receive(1, answer_wait) != std::string(1, ack))
        return "second EOT not acknowledged";
    port.receive(1, std::chrono::milliseconds(50)); // the "C" of the next batch, if any
    if (!port.send(packet(soh, 0, std::string(short_block, '\0'))) ||
        port.receive(1, answer_wait) != std::string(1, ack))
        return "closing block not acknowledged";
    return {};
}

// "C" for the header, then a request per block, then the end exchange.
std::string download(Port& port, std::size_t size, std::string& data, double& phase) {
    if (!port.send(std::string(1, request_c))) return "write failed";
    if (port.receive(short_packet, answer_wait).size() != short_packet) return "no header";
    const std::size_t blocks = (size + long_block - 1) / long_block;
    std::string request{nak, ack, request_c};
    const Clock::time_point start = Clock::now();
    for (std::size_t k = 0; k < blocks; ++k) {
        if (!port.send(request)) return "write failed";
        const std::string p = port.receive(long_packet, answer_wait);
        if (p.size() != long_packet ||
            p != packet(stx, static_cast<unsigned>(k + 1), p.substr(3, long_block)))
            return "block " + std::to_string(k + 1) + " missing or corrupt";
        data += p.substr(3, long_block);
        request = std::string(1, ack);
    }
    phase = std::chrono::duration<double>(Clock::now() - start).count();
    data.resize(size);
    if (!port.send(std::string{nak, ack}) || port.receive(1, answer_wait) != std::string(1, eot))
        return "no EOT after the last block";
    if (!port.send(std::string(1, request_c)) ||
        port.receive(short_packet, answer_wait).size() != short_packet)
        return "no closing block";
    return {};
}

} // namespace

Figures run_reference_peer(const Tools& tools, const std::string& work, const PeerCase& c) {
    Figures f;
    f.name = c.name;
    f.payload = c.payload;
    f.baud = c.baud;
    const std::string dir = fresh_dir(work, c.name);
    if (dir.empty()) {
        f.problem = "cannot create the case folder under " + work;
        return f;
    }
    const std::string payload = payload_bytes(c.payload, 11);
    const std::string source = dir + "/peer.dsp";
    std::vector<std::string> args = {"--baud", std::to_string(c.baud), "--pace", "--once"};
    if (c.role == PeerRole::download) {
        if (!write_file(source, payload)) {
            f.problem = "cannot write " + source;
            return f;
        }
        args.insert(args.end(), {"--role", "sender", "--file", source});
    } else {
        std::filesystem::create_directories(dir + "/out");
        args.insert(args.end(), {"--role", "bootloader", "--out", dir + "/out"});
    }
    std::string error;
    auto box = start_box(tools, args, dir + "/box.log", error);
    if (!box) {
        f.problem = error;
        return f;
    }
    const Clock::time_point t0 = Clock::now();
    std::string got;
    {
        Port port(box->slave, c.baud);
        if (!port.ok())
            error = "cannot open " + box->slave;
        else if (c.role == PeerRole::upload)
            error = upload(port, payload, "peer.dsp", f.phase);
        else
            error = download(port, payload.size(), got, f.phase);
        if (error.empty() && c.role == PeerRole::download && got != payload)
            error = "the received bytes differ from the box's file";
        f.wall = std::chrono::duration<double>(Clock::now() - t0).count();
    }
    finish_box(*box, Clock::now() + std::chrono::seconds(10));
    if (error.empty() && c.role == PeerRole::upload && read_file(dir + "/out/peer.dsp") != payload)
        error = "the box's file differs from the payload";
    f.problem = error;
    f.ok = error.empty();
    f.ratio = limit_ratio(c.payload, f.phase, c.baud);
    f.blocks_ratio = f.ratio;
    return f;
}

} // namespace bench
