#include "upload/ymodem_stream.h"

#include "upload/crc16.h"

#include <algorithm>

namespace velk2 {

namespace {

constexpr std::size_t block0_text_size = 128;

// Check bytes go out high-order byte first.
void put_crc(std::string& out, std::string_view data) {
    const std::uint16_t crc = crc16(data);
    out.push_back(static_cast<char>(crc >> 8));
    out.push_back(static_cast<char>(crc & 0xFF));
}

void add_entry(Stream& stream, std::size_t start) {
    stream.stream_tab.push_back({static_cast<std::int32_t>(start),
                                 static_cast<std::int32_t>(stream.stream_buf.size() - start)});
}

} // namespace

std::string base_name(const std::string& path) {
    const std::size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string block0_text(const std::string& base_name, std::size_t length) {
    std::string text = base_name;
    text.push_back('\0');
    text.append(std::to_string(length));
    text.resize(block0_text_size, '\0');
    return text;
}

bool block0_fits(const std::string& base_name, std::size_t length) {
    return base_name.size() + 1 + std::to_string(length).size() + 1 <= block0_text_size;
}

Stream letstream(const std::string& payload, const std::string& upload_file) {
    const std::size_t blocks = payload.size() / data_block_payload + 1;

    Stream stream;
    stream.stream_buf.reserve(block0_size + data_packet_size * blocks + 2 + block0_size);
    stream.stream_tab.reserve(blocks + 4);

    const std::string text = block0_text(base_name(upload_file), payload.size());
    stream.stream_buf.append({ymodem_soh, '\0', '\xFF'});
    stream.stream_buf.append(text);
    put_crc(stream.stream_buf, text);
    add_entry(stream, 0);

    // The last block is padded with zero bytes; a payload that fills its
    // blocks exactly gets one whole block of zeros more.
    const std::string zeros(data_block_payload, '\0');
    for (std::size_t k = 1; k <= blocks; ++k) {
        const std::size_t start = stream.stream_buf.size();
        const std::size_t from = (k - 1) * data_block_payload;
        const std::size_t take = std::min(data_block_payload, payload.size() - from);
        const auto number = static_cast<unsigned char>(k & 0xFF);
        stream.stream_buf.append(
            {ymodem_stx, static_cast<char>(number), static_cast<char>(255 - number)});
        stream.stream_buf.append(payload, from, take);
        stream.stream_buf.append(zeros, 0, data_block_payload - take);
        put_crc(stream.stream_buf,
                std::string_view(stream.stream_buf).substr(start + 3, data_block_payload));
        add_entry(stream, start);
    }
    stream.last_data = static_cast<int>(blocks) + 1;

    for (int eot = 0; eot < 2; ++eot) {
        const std::size_t start = stream.stream_buf.size();
        stream.stream_buf.push_back(ymodem_eot);
        add_entry(stream, start);
    }

    // An empty block 0 ends the batch; the CRC of 128 zero bytes is 0.
    const std::size_t start = stream.stream_buf.size();
    stream.stream_buf.append({ymodem_soh, '\0', '\xFF'});
    stream.stream_buf.append(block0_text_size + 2, '\0');
    add_entry(stream, start);
    return stream;
}

std::string_view stream_packet(const Stream& stream, int entry) {
    if (entry < 1 || static_cast<std::size_t>(entry) > stream.stream_tab.size()) return {};
    const StreamEntry& e = stream.stream_tab[static_cast<std::size_t>(entry - 1)];
    return std::string_view(stream.stream_buf)
        .substr(static_cast<std::size_t>(e.start), static_cast<std::size_t>(e.len));
}

} // namespace velk2
