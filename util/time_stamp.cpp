#include "util/time_stamp.h"

#include <ctime>

namespace {

const Clock kPlatformClock = {GetLocalTime, GetSystemTime};
const Clock* g_clock = &kPlatformClock;

}  // namespace

const Clock* SetClockForTest(const Clock* clock) {
    const Clock* previous = g_clock;
    g_clock = clock != nullptr ? clock : &kPlatformClock;
    return previous;
}

int64_t CalendarToTime(const SYSTEMTIME& reading) {
    if (reading.wYear < 1900) return 0;
    tm fields = {};
    fields.tm_year = reading.wYear - 1900;
    fields.tm_mon = reading.wMonth - 1;
    fields.tm_mday = reading.wDay;
    fields.tm_hour = reading.wHour;
    fields.tm_min = reading.wMinute;
    fields.tm_sec = reading.wSecond;
    fields.tm_isdst = -1;
    // The 64-bit forms: a 32-bit build's plain time_t ends in 2038.
    return static_cast<int64_t>(_mktime64(&fields));
}

int64_t GetLocalNow() {
    SYSTEMTIME local;
    g_clock->localTime(&local);
    return CalendarToTime(local);
}

int64_t GetUtcOffset() {
    SYSTEMTIME utc, local;
    g_clock->systemTime(&utc);
    g_clock->localTime(&local);
    return CalendarToTime(local) - CalendarToTime(utc);
}

int64_t LocalToUtc(int64_t value) {
    const int32_t offset = static_cast<int32_t>(GetUtcOffset());
    return value - offset;
}

std::wstring FormatTimeStamp(int64_t value) {
    const __time64_t seconds = value;
    const tm* local = _localtime64(&seconds);
    if (local == nullptr) return std::wstring();
    wchar_t text[128] = {};
    if (wcsftime(text, 128, L"%Y-%m-%d %H:%M:%S", local) == 0) return std::wstring();
    return text;
}
