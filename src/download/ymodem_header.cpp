#include "download/ymodem_header.h"

#include "upload/crc16.h"

#include <algorithm>
#include <array>

namespace velk2 {

namespace {

constexpr std::size_t field_offset = 3;
constexpr std::size_t field_size = 128;
constexpr std::size_t block_data_size = 1024;

unsigned byte_at(std::string_view text, std::size_t pos) {
    return pos < text.size() ? static_cast<unsigned char>(text[pos]) : 0u;
}

bool is_device_name(std::string_view name) {
    std::string stem(name.substr(0, name.find('.')));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    static constexpr std::array<std::string_view, 4> plain = {"CON", "PRN", "AUX", "NUL"};
    for (std::string_view device : plain)
        if (stem == device) return true;
    return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) &&
           stem[3] >= '1' && stem[3] <= '9';
}

} // namespace

HeaderCheck check_header(std::string_view header) {
    HeaderCheck check{};
    check.received_start = byte_at(header, 0) | byte_at(header, 1) << 8 | byte_at(header, 2) << 16;
    check.start_ok = header.size() >= 3 && check.received_start == 0xFF0001;
    check.crc_computed = crc16(header.substr(std::min(field_offset, header.size()), field_size));
    const unsigned first = byte_at(header, 131);
    const unsigned second = byte_at(header, 132);
    check.crc_received = static_cast<std::uint16_t>(first | second << 8);
    check.crc_ok = header.size() == header_block_size &&
                   check.crc_computed == static_cast<std::uint16_t>(first << 8 | second);
    return check;
}

std::uint32_t block_count(std::uint32_t size) {
    return static_cast<std::uint32_t>((std::uint64_t{size} + block_data_size - 1) /
                                      block_data_size);
}

HeaderFields header_fields(std::string_view header) {
    const std::string_view field = header.substr(std::min(field_offset, header.size()), field_size);
    const std::size_t nul = field.find('\0');

    HeaderFields fields;
    fields.file_name = std::string(field.substr(0, nul));
    if (nul == std::string_view::npos) return fields;
    // A header without size digits announces nothing: taken as 0 it would
    // replace the file the user picks with an empty one.
    std::size_t i = nul + 1;
    if (i >= field.size() || field[i] < '0' || field[i] > '9') return fields;
    std::uint64_t size = 0;
    // Stop as soon as the value passes the limit, so no digit count can make
    // it wrap into a plausible size.
    for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) {
        size = size * 10 + static_cast<unsigned>(field[i] - '0');
        if (size > download_max_size) return fields;
    }
    fields.size = static_cast<std::uint32_t>(size);
    fields.block_count = block_count(*fields.size);
    return fields;
}

std::string safe_file_name(const std::string& header_name) {
    const std::size_t cut = header_name.find_last_of("/\\");
    std::string name = cut == std::string::npos ? header_name : header_name.substr(cut + 1);
    if (name.size() >= 2 && name[1] == ':' &&
        ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')))
        name.erase(0, 2);

    static constexpr std::string_view unsafe = "<>:\"|?*/\\";
    for (char& c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || unsafe.find(c) != std::string_view::npos) c = '_';
    }
    if (name.find_first_not_of(". ") == std::string::npos) return "download";
    return is_device_name(name) ? "_" + name : name;
}

bool block_crc_ok(std::string_view record) {
    if (record.size() != data_record_size) return false;
    const std::uint16_t sent =
        static_cast<std::uint16_t>(byte_at(record, 1027) << 8 | byte_at(record, 1028));
    return crc16(record.substr(field_offset, block_data_size)) == sent;
}

std::optional<std::string> assemble_blocks(const std::vector<std::string>& records,
                                           std::size_t size) {
    const std::size_t needed = (size + block_data_size - 1) / block_data_size;
    if (records.size() < needed) return std::nullopt;
    std::string data;
    data.reserve(needed * block_data_size);
    for (std::size_t k = 0; k < needed; ++k) {
        if (!block_crc_ok(records[k])) return std::nullopt;
        data.append(records[k], field_offset, block_data_size);
    }
    data.resize(size);
    return data;
}

} // namespace velk2
