#include "service/service_pieces.h"

#include "hex_text.h"

#include <gtest/gtest.h>

namespace velk2 {
namespace {

struct ServiceCase {
    std::size_t n;
    std::vector<const char*> write_heads; // first six bytes of each write
    std::vector<const char*> readback;
};

TEST(ServicePieces, WritesAndReadback) {
    const ServiceCase cases[] = {
        {4096,
         {"08 00 00 8E 00 FF", "08 00 04 8E 00 FF", "08 00 08 8E 00 FF", "08 00 0C 8E 00 FF"},
         {"0C 00 00 8E 00 FF", "0C 00 04 8E 00 FF"}},
        {1500,
         {"08 00 00 8E 00 FF", "08 00 04 8E 00 76"},
         {"0C 00 00 8E 00 FF", "0C 00 04 8E 00 76"}},
        {8, {"08 00 00 8E 00 01"}, {"0C 00 00 8E 00 01"}},
        {3, {}, {}},
        {0, {}, {}},
    };
    for (const ServiceCase& c : cases) {
        const std::string data = test::pattern_bytes(c.n);
        const std::vector<ServicePiece> pieces = service_pieces(c.n);
        ASSERT_EQ(pieces.size(), c.write_heads.size()) << c.n;
        std::size_t covered = 0;
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            EXPECT_EQ(pieces[i].offset, covered);
            EXPECT_EQ(service_write_command(data, pieces[i]),
                      test::from_hex(c.write_heads[i]) + data.substr(covered, pieces[i].length))
                << c.n << " piece " << i;
            covered += pieces[i].length;
        }
        EXPECT_EQ(covered, c.n > 3 ? c.n : 0);

        const std::vector<std::string> readback = service_readback_commands(c.n);
        ASSERT_EQ(readback.size(), c.readback.size()) << c.n;
        for (std::size_t i = 0; i < readback.size(); ++i)
            EXPECT_EQ(readback[i], test::from_hex(c.readback[i])) << c.n << " read " << i;
    }
}

TEST(ServicePieces, DataThatTheCountByteCannotCover) {
    const std::pair<std::size_t, bool> cases[] = {{0, true},     {3, true},    {4, true},
                                                  {5, false},    {1500, true}, {1501, false},
                                                  {4099, false}, {4096, true}};
    for (const auto& [n, ok] : cases) EXPECT_EQ(service_data_ok(n), ok) << n;
}

} // namespace
} // namespace velk2
