#include "shell/number_format.h"

#include <gtest/gtest.h>

namespace velk2 {
namespace {

TEST(NumberFormat, LengthGroups) {
    const std::pair<std::int64_t, const char*> cases[] = {
        {0, "0"},
        {7, "7"},
        {500, "500"},
        {2500, "2-500"},
        {60928, "60-928"},
        {123456, "123-456"},
        {1234567, "1-234-567"},
        {2093056, "2-093-056"},
        {1234567890, "1234-567-890"},
        {-2500, "-2-500"},
    };
    for (const auto& [n, text] : cases) EXPECT_EQ(format_length(n), text) << n;
}

} // namespace
} // namespace velk2
