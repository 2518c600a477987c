// What one upload can carry, checked before a byte of the file is read and
// again before the port is opened: the stream's 2044 data blocks, and a block
// 0 with room for the name, the size and their two 0x00 bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace velk2 {

// Why a payload of `size` bytes cannot go out as the file `upload_file`, or
// nothing when it can.
std::optional<std::string> payload_refusal(const std::string& upload_file, std::uint64_t size);

} // namespace velk2
