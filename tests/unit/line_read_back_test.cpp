#include <gtest/gtest.h>

#include "platform/line_read_back.h"

namespace velk2 {
namespace {

// What a device reads back after the line was set to 230400 8N1 raw: the
// reason names each setting that did not take, never an OS error.
TEST(LineReadBack, NamesWhatDidNotTake) {
    const struct {
        LineReadBack took;
        const char* reason;
    } cases[] = {
        {{230400, 230400}, ""},
        {{115200, 115200}, "line settings read back 115200 baud instead of 230400"},
        {{0, 0}, "line settings read back another rate instead of 230400 baud"},
        {{230400, 115200}, "line settings read back input at 115200 baud instead of 230400"},
        {{38400, 0},
         "line settings read back 38400 baud instead of 230400, input at another rate instead of "
         "230400 baud"},
        {{230400, 230400, 7, true, "2"},
         "line settings read back 7 data bits instead of 8, parity instead of none, 2 stop bits "
         "instead of 1"},
        {{230400, 230400, 8, false, "1.5", true},
         "line settings read back 1.5 stop bits instead of 1, line editing instead of raw bytes"},
    };
    for (const auto& c : cases) EXPECT_EQ(read_back_mismatch(c.took, 230400), c.reason);
}

} // namespace
} // namespace velk2
