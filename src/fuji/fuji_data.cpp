#include "fuji/fuji_data.h"

#include "fuji/monitor_commands.h"
#include "platform/text_utf8.h"

#include <cstdio>

namespace velk2 {

namespace {

constexpr std::size_t record_size = 8;

std::string hex8(std::uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
    return text;
}

std::string decimal_byte(std::string_view bytes, std::size_t pos) {
    return std::to_string(pos < bytes.size() ? static_cast<unsigned char>(bytes[pos]) : 0u);
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

} // namespace

std::string default_patch_list() {
    std::string list;
    const auto add = [&list](std::uint32_t address, std::string_view value) {
        list += le32(address);
        list += value;
    };
    add(0x0030DE80, std::string_view("\x00\x80\x00\x00", 4));
    add(0x0030DD88, std::string_view("\x00\x00\x0F\x00", 4));
    add(0x005EDC88, "%04d");
    add(0x005EDC8C, "%02d");
    add(0x005EDC90, "%02d");
    add(0x005EDCA0, ":%02");
    add(0x005EDCA4, "x:%0");
    add(0x005EDCA8, std::string_view("2d\0\0", 4));
    add(0x004131A0, "REDU");
    add(0x004131A4, "ZIDI");
    return list;
}

std::string put_patch_list() {
    constexpr std::uint32_t big = 0x130000;
    constexpr std::uint32_t small = 0x10000;
    std::string list;
    const auto add = [&list](std::uint32_t address, std::uint32_t value) {
        list += le32(address);
        list += le32(value);
    };
    add(0x0030DD80, big / 2);
    add(0x0030DD88, small / 2);
    add(0x0030DD9C, small);
    add(0x0030DDB8, big);
    add(0x0030DE80, big / 2);
    add(0x0030DE88, small / 2);
    return list;
}

std::vector<PatchRecord> patch_records(std::string_view list) {
    std::vector<PatchRecord> records;
    for (std::size_t at = 0; at + record_size <= list.size(); at += record_size)
        records.push_back({read_le32(list, at), std::string(list.substr(at + 4, 4))});
    return records;
}

std::uint32_t fuji_trail_address(std::string_view head) {
    return fuji_block + 64 + 2 * read_le32(head, 60);
}

std::string fuji_summary_title(const std::string& head_and_trail) {
    const std::string_view s = head_and_trail;
    const std::string_view name = s.size() > 40 ? s.substr(40, 8) : std::string_view();
    std::string title = decimal_byte(s, 54) + ":" + decimal_byte(s, 55) + " ";
    title += name;
    title += "/ " + hex8(read_le32(s, 36)) + "/ " + hex8(read_le32(s, 68));
    return latin1_to_utf8(title);
}

std::optional<std::uint32_t> address_from_file_name(const std::string& name) {
    if (name.size() < 4) return std::nullopt;
    std::string ending = name.substr(name.size() - 4);
    for (char& c : ending)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (ending != ".BIN") return std::nullopt;

    std::uint32_t address = 0;
    for (std::size_t i = 0; i < 8 && i < name.size(); ++i) {
        const int digit = hex_digit(name[i]);
        if (digit < 0) break;
        address = address << 4 | static_cast<std::uint32_t>(digit);
    }
    return address;
}

bool block_file_length_ok(std::size_t length) {
    return length >= 4 && length <= 1024 && length % 4 == 0;
}

std::string live_command() {
    return mon_write(live_block, std::string(64, '\xFF'));
}

std::string put_clear_command(std::uint32_t address, std::size_t length) {
    return mon_write(address, std::string(length, '\0'));
}

} // namespace velk2
