#include "memory_model.h"

#include "hex_text.h"

#include <cstdio>

namespace boxsim {

void MemoryModel::write(std::uint32_t address, std::string_view bytes) {
    for (const char byte : bytes) {
        Page& page = pages_[address >> page_bits];
        const std::size_t offset = address & (page_size - 1);
        page.bytes[offset] = byte;
        page.set.set(offset);
        ++address;
    }
}

std::string MemoryModel::read(std::uint32_t address, std::size_t count) const {
    std::string bytes(count, '\0');
    for (std::size_t i = 0; i < count; ++i, ++address) {
        const auto page = pages_.find(address >> page_bits);
        if (page != pages_.end()) bytes[i] = page->second.bytes[address & (page_size - 1)];
    }
    return bytes;
}

std::vector<MemoryModel::Range> MemoryModel::ranges() const {
    std::vector<Range> ranges;
    std::uint64_t next = 0; // the address right after the last run's end
    for (const auto& [index, page] : pages_) {
        for (std::size_t offset = 0; offset < page_size; ++offset) {
            if (!page.set.test(offset)) continue;
            const std::uint64_t address = (std::uint64_t{index} << page_bits) + offset;
            if (ranges.empty() || address != next) {
                ranges.push_back({static_cast<std::uint32_t>(address), {}});
            }
            ranges.back().bytes += page.bytes[offset];
            next = address + 1;
        }
    }
    return ranges;
}

std::string dump_text(const MemoryModel& memory) {
    constexpr std::size_t per_line = 32;
    std::string text;
    for (const auto& range : memory.ranges()) {
        for (std::size_t at = 0; at < range.bytes.size(); at += per_line) {
            char address[16];
            std::snprintf(address, sizeof address, "%08X ",
                          static_cast<unsigned>(range.address + at));
            text += address;
            text += hex_text(std::string_view(range.bytes).substr(at, per_line), per_line);
            text += '\n';
        }
    }
    return text;
}

} // namespace boxsim
