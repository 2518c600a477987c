#include "platform/local_time.h"

#include <ctime>

#ifdef _WIN32
#include "platform/win32/win32_api.h"
#endif

namespace velk2 {

#ifdef _WIN32

namespace {

// 100-ns steps from 1601-01-01 to 1970-01-01.
constexpr std::int64_t epoch_in_filetime = 116444736000000000LL;
constexpr std::int64_t filetime_per_second = 10000000LL;

std::int64_t filetime_of(const SYSTEMTIME& t) {
    FILETIME f{};
    SystemTimeToFileTime(&t, &f);
    return (std::int64_t(f.dwHighDateTime) << 32) | f.dwLowDateTime;
}

} // namespace

LocalWallTime local_time_at(std::int64_t unix_seconds) {
    const std::int64_t ticks = unix_seconds * filetime_per_second + epoch_in_filetime;
    const FILETIME utc_file{DWORD(ticks & 0xFFFFFFFF), DWORD(std::uint64_t(ticks) >> 32)};
    SYSTEMTIME utc{}, local{};
    FileTimeToSystemTime(&utc_file, &utc);
    // The rules of the system's zone for that date, summer time included.
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) local = utc;
    const std::int64_t offset_s = (filetime_of(local) - ticks) / filetime_per_second;
    return {local.wYear,
            local.wMonth,
            local.wDay,
            local.wHour,
            local.wMinute,
            local.wSecond,
            int(offset_s >= 0 ? (offset_s + 30) / 60 : -((-offset_s + 30) / 60))};
}

LocalWallTime local_time_now() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const std::int64_t ticks = (std::int64_t(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return local_time_at((ticks - epoch_in_filetime) / filetime_per_second);
}

#else

LocalWallTime local_time_at(std::int64_t unix_seconds) {
    const std::time_t t = static_cast<std::time_t>(unix_seconds);
    std::tm local{};
    if (!localtime_r(&t, &local)) gmtime_r(&t, &local);
    return {
        local.tm_year + 1900, local.tm_mon + 1,         local.tm_mday, local.tm_hour, local.tm_min,
        local.tm_sec,         int(local.tm_gmtoff / 60)};
}

LocalWallTime local_time_now() {
    tzset(); // a TZ set since the last call counts
    return local_time_at(std::time(nullptr));
}

#endif

} // namespace velk2
