// The local wall clock with its offset from UTC, for records that say when
// something happened (ISO 8601 with the offset).
#pragma once

#include <cstdint>

namespace velk2 {

struct LocalWallTime {
    int year = 1970, month = 1, day = 1; // month and day from 1
    int hour = 0, minute = 0, second = 0;
    int utc_offset_minutes = 0; // east of UTC positive: +60 for 16:05:09+01:00
    bool operator==(const LocalWallTime&) const = default;
};

// Now, in the time zone of the machine (POSIX: TZ, else /etc/localtime;
// Windows: the zone of the system settings), summer time included.
LocalWallTime local_time_now();

// The moment `unix_seconds` after 1970-01-01T00:00:00Z in that zone, with
// the offset that held then.
LocalWallTime local_time_at(std::int64_t unix_seconds);

} // namespace velk2
