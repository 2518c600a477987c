// The local wall clock with its offset from UTC, in zones east and west of
// UTC, with and without summer time, across a day's and a year's end.
#include "platform/local_time.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace velk2 {
namespace {

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t days_from_civil(int y, int m, int d) {
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return std::int64_t(era) * 146097 + doe - 719468;
}

std::int64_t unix_seconds(int y, int mo, int d, int h, int mi, int s) {
    return days_from_civil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
}

// What the fields say as a moment: local time less the offset is the moment.
std::int64_t moment_of(const LocalWallTime& t) {
    return unix_seconds(t.year, t.month, t.day, t.hour, t.minute, t.second) -
           std::int64_t(t.utc_offset_minutes) * 60;
}

#ifndef _WIN32
// The process's zone for the life of the object.
class ZoneForTest {
  public:
    explicit ZoneForTest(const char* zone) {
        if (const char* old = std::getenv("TZ")) old_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneForTest() {
        if (old_)
            setenv("TZ", old_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

  private:
    std::optional<std::string> old_;
};

TEST(LocalTime, FieldsAndOffsetOfTheZoneThatHeldThen) {
    const char* const central_europe = "CET-1CEST,M3.5.0,M10.5.0/3";
    const struct {
        const char* zone;
        std::int64_t utc;
        LocalWallTime local;
    } cases[] = {
        {"UTC0", unix_seconds(2026, 12, 7, 15, 5, 9), {2026, 12, 7, 15, 5, 9, 0}},
        {central_europe, unix_seconds(2026, 12, 7, 15, 5, 9), {2026, 12, 7, 16, 5, 9, 60}},
        {central_europe, unix_seconds(2026, 7, 1, 12, 0, 0), {2026, 7, 1, 14, 0, 0, 120}},
        // The last second of winter time and the first of summer time.
        {central_europe, unix_seconds(2026, 3, 29, 0, 59, 59), {2026, 3, 29, 1, 59, 59, 60}},
        {central_europe, unix_seconds(2026, 3, 29, 1, 0, 0), {2026, 3, 29, 3, 0, 0, 120}},
        {"<-0330>3:30", unix_seconds(2026, 1, 2, 6, 34, 5), {2026, 1, 2, 3, 4, 5, -210}},
        {"<+0545>-5:45", unix_seconds(2026, 12, 31, 20, 0, 0), {2027, 1, 1, 1, 45, 0, 345}},
        {"<-12>12", unix_seconds(2027, 1, 1, 6, 0, 0), {2026, 12, 31, 18, 0, 0, -720}},
        {"<+14>-14", unix_seconds(2028, 2, 28, 12, 0, 0), {2028, 2, 29, 2, 0, 0, 840}},
    };
    for (const auto& c : cases) {
        const ZoneForTest zone(c.zone);
        EXPECT_EQ(local_time_at(c.utc), c.local) << c.zone << " at " << c.utc;
    }
}
#endif

// In whatever zone the machine runs: the fields less the offset are the
// moment asked for, the offset a whole quarter of an hour within the zones
// that exist.
TEST(LocalTime, FieldsLessTheOffsetAreTheMoment) {
    for (const std::int64_t utc :
         {unix_seconds(2026, 1, 15, 12, 0, 0), unix_seconds(2026, 7, 15, 23, 59, 59),
          unix_seconds(2030, 12, 31, 23, 30, 0)}) {
        const LocalWallTime t = local_time_at(utc);
        EXPECT_EQ(moment_of(t), utc);
        EXPECT_GE(t.utc_offset_minutes, -720);
        EXPECT_LE(t.utc_offset_minutes, 840);
        EXPECT_EQ(t.utc_offset_minutes % 15, 0);
    }
    const std::int64_t before = std::time(nullptr);
    const std::int64_t now = moment_of(local_time_now());
    EXPECT_GE(now, before);
    EXPECT_LE(now, std::int64_t(std::time(nullptr)));
}

} // namespace
} // namespace velk2
