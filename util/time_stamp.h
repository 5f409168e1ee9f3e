// Time values (seconds since 1970-01-01 00:00:00 UTC) and their text form.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// A platform calendar reading as a time value, read as local time whatever it stands for
// (mktime, daylight saving left to the library); years before 1900 give 0.
int64_t CalendarToTime(const SYSTEMTIME& reading);

// The current local reading as a time value.
int64_t GetLocalNow();
// Local wall-clock time minus UTC wall-clock time, in seconds, daylight saving included.
int64_t GetUtcOffset();
// value minus the current offset (narrowed to 32 bits).
int64_t LocalToUtc(int64_t value);
// value rendered in local time as "%Y-%m-%d %H:%M:%S"; empty when it cannot be broken down.
std::wstring FormatTimeStamp(int64_t value);

// The clock readings behind the operations above; tests put fixed readings in their place.
struct Clock {
    void(WINAPI* localTime)(LPSYSTEMTIME);
    void(WINAPI* systemTime)(LPSYSTEMTIME);
};
// null: the platform's clock again. Returns the clock that was in place.
const Clock* SetClockForTest(const Clock* clock);
