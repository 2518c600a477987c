#include "station/sha256.h"

#include <gtest/gtest.h>

namespace velk2 {
namespace {

struct Vector {
    std::string message;
    const char* digest;
};

// The FIPS 180 examples, and lengths around the padding boundaries (55 bytes
// still fit the length into the last block, 56 do not; 64 fill a block).
const Vector vectors[] = {
    {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmno"
     "pqrsmnopqrstnopqrstu",
     "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
    {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    {std::string(55, 'x'), "d5e285683cd4efc02d021a5c62014694958901005d6f71e89e0989fac77e4072"},
    {std::string(56, 'x'), "04c26261370ee7541549d16dee320c723e3fd14671e66a099afe0a377c16888e"},
    {std::string(63, 'x'), "75220b47218278e656f2013bb8f0c455a25eaf01e86c64924e9d48d89776d6f2"},
    {std::string(64, 'x'), "7ce100971f64e7001e8fe5a51973ecdfe1ced42befe7ee8d5fd6219506b5393c"},
    {std::string(65, 'x'), "9537c5fdf120482f7d58d25e9ed583f52c02b4e304ea814db1633ad565aed7e9"},
    {std::string(119, 'x'), "000b48d4edf0fa7bee3c6236ecd2785baa5db4eeb8bb54341b029e0d9fa5fb0c"},
};

TEST(Sha256, PublishedVectorsAndPaddingBoundaries) {
    for (const Vector& v : vectors)
        EXPECT_EQ(sha256_hex(v.message), v.digest) << v.message.size() << " bytes";
}

// The worker hashes its input as it arrives, in pieces of any size: the
// pieces must not change the digest, whichever block boundary they cross.
TEST(Sha256, PiecesGiveTheSameDigest) {
    const std::size_t piece_sizes[] = {1, 3, 55, 63, 64, 65, 200, 4096};
    for (const Vector& v : vectors) {
        for (std::size_t piece : piece_sizes) {
            Sha256 hash;
            for (std::size_t at = 0; at < v.message.size(); at += piece)
                hash.update(std::string_view(v.message).substr(at, piece));
            EXPECT_EQ(hash.hex(), v.digest) << v.message.size() << " bytes in " << piece;
        }
    }
}

} // namespace
} // namespace velk2
