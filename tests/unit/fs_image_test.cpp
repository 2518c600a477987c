#include "upload/fs_image.h"
#include "upload/jpg_wrap.h"

#include "fuji/monitor_commands.h"
#include "hex_text.h"

#include <gtest/gtest.h>

namespace velk2 {
namespace {

TEST(FsImage, LayoutAndFill) {
    const struct {
        std::size_t jpg, total; // T
        const char* t_bytes;
    } cases[] = {{0, 512, "00 02"},       {144, 1536, "00 06"},    {1000, 1536, "00 06"},
                 {25000, 26112, "00 66"}, {60000, 60928, "00 EE"}, {64655, 65024, "00 FE"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.jpg);
        const std::string jpg = test::pattern_bytes(c.jpg);
        const std::string image = fs_image(jpg);
        ASSERT_EQ(image.size(), c.total - 64);
        EXPECT_EQ(fs_image_total(c.jpg), c.total);

        std::string head = "FILE SYSTEM 2001" + test::from_hex(c.t_bytes) + std::string(14, '\0');
        for (const char* name : {"x_radio1.jpg", "mlogo25k.jpg"})
            head += name + std::string(4, '\0') + le32(static_cast<std::uint32_t>(c.jpg)) +
                    test::from_hex("70 00 00 00") + std::string(8, '\0');
        head += std::string(16, '\0');
        EXPECT_EQ(image.substr(0, 0x70), head);
        EXPECT_EQ(image.substr(0x70, c.jpg), jpg);

        const std::size_t fill = c.total - 64 - 0x70 - c.jpg;
        EXPECT_GE(fill, 193u);
        EXPECT_LE(fill, 1216u);
        EXPECT_EQ(image.substr(0x70 + c.jpg), std::string(fill, ' '));
    }
}

TEST(FsImage, LargestJpgIsTheLastWhoseTotalFits16Bits) {
    EXPECT_LE(fs_image_total(fs_image_max_jpg), 0xFFFFu);
    EXPECT_GT(fs_image_total(fs_image_max_jpg + 1), 0xFFFFu);
}

TEST(JpgWrap, HeaderBytes) {
    const std::string expected = std::string(16, ':') + "DIVAREVO20060410" +
                                 test::from_hex("FF FF FF FF 00 00 00 00") + std::string(8, ' ') +
                                 test::from_hex("00 00 00 00 80 00 00 00 00 00 09 00 E0 02 00 00");
    EXPECT_EQ(jpg_header(1473), expected); // odd length: halved, rounded down
}

TEST(JpgWrap, WrapsTheImage) {
    const std::string jpg = test::pattern_bytes(1000);
    const std::string wrapped = wrap_jpg(jpg);
    ASSERT_EQ(wrapped.size(), 1536u);
    EXPECT_EQ(wrapped.substr(0, 64), jpg_header(1472));
    EXPECT_EQ(wrapped.substr(64), fs_image(jpg));
}

} // namespace
} // namespace velk2
