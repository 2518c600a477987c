#include "upload/upload_limits.h"

#include "upload/ymodem_stream.h"

namespace velk2 {

std::optional<std::string> payload_refusal(const std::string& upload_file, std::uint64_t size) {
    if (size > stream_max_payload)
        return "The file is too big for one upload: " + std::to_string(size) + " bytes, at most " +
               std::to_string(stream_max_payload) + ".";
    const std::string name = base_name(upload_file);
    if (!block0_fits(name, static_cast<std::size_t>(size))) {
        const std::size_t room = 128 - 2 - std::to_string(size).size();
        return "The file name is too long for one upload: " + std::to_string(name.size()) +
               " bytes, at most " + std::to_string(room) +
               " leave room for the size in the first block. Rename the file " + name + ".";
    }
    return std::nullopt;
}

} // namespace velk2
