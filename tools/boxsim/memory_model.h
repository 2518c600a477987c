// The box's memory as the monitor sees it: sparse, 32-bit addresses that wrap,
// bytes never set read as 0.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace boxsim {

class MemoryModel {
  public:
    void write(std::uint32_t address, std::string_view bytes);
    std::string read(std::uint32_t address, std::size_t count) const;

    // Every run of set bytes, in address order; a run does not wrap past
    // 0xFFFFFFFF.
    struct Range {
        std::uint32_t address;
        std::string bytes;
    };
    std::vector<Range> ranges() const;

  private:
    static constexpr unsigned page_bits = 12;
    static constexpr std::size_t page_size = std::size_t{1} << page_bits;
    struct Page {
        std::array<char, page_size> bytes{};
        std::bitset<page_size> set;
    };
    std::map<std::uint32_t, Page> pages_;
};

// The dump written on exit: one line per run of set bytes, at most 32 bytes a
// line, "AAAAAAAA HH HH ..." with the address and bytes in upper-case hex.
std::string dump_text(const MemoryModel& memory);

} // namespace boxsim
