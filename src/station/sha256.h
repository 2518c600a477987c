// SHA-256 of the prepared upload data: the station shows it, hands it to each
// worker and writes it into the flash record, so a flashed box can be traced
// to the exact bytes it received.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace velk2 {

// A running hash: feed the data in pieces of any size, then take the digest.
class Sha256 {
  public:
    Sha256();
    void update(std::string_view bytes);
    // The digest as 64 lower-case hex digits. Ends the hash: update after
    // hex() is not allowed.
    std::string hex();

  private:
    void compress(const unsigned char* block);

    std::array<std::uint32_t, 8> h_;
    std::array<unsigned char, 64> buffer_{};
    std::size_t buffered_ = 0;
    std::uint64_t length_ = 0; // bytes fed so far
};

// The digest of `bytes` as 64 lower-case hex digits.
std::string sha256_hex(std::string_view bytes);

} // namespace velk2
