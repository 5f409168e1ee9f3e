#include <gtest/gtest.h>

#include "support/scoped_seam.h"

#include <ctime>

#include "support/test_folder.h"
#include "util/time_stamp.h"

namespace {

// Fixed clock readings: what the platform would answer at one moment in some zone.
struct FixedClock {
    static SYSTEMTIME local;
    static SYSTEMTIME utc;
    static void WINAPI Local(LPSYSTEMTIME out) { *out = local; }
    static void WINAPI Utc(LPSYSTEMTIME out) { *out = utc; }
};
SYSTEMTIME FixedClock::local;
SYSTEMTIME FixedClock::utc;

SYSTEMTIME At(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
    SYSTEMTIME t = {};
    t.wYear = year;
    t.wMonth = month;
    t.wDay = day;
    t.wHour = hour;
    t.wMinute = minute;
    t.wSecond = second;
    t.wMilliseconds = 789;
    return t;
}

std::wstring StartTextAt(const SYSTEMTIME& local, const SYSTEMTIME& utc) {
    FixedClock::local = local;
    FixedClock::utc = utc;
    const Clock clock = {FixedClock::Local, FixedClock::Utc};
    const ScopedSeam<const Clock*> fixed(SetClockForTest, &clock);
    return FormatTimeStamp(LocalToUtc(GetLocalNow()));
}

// TRUE when this process's zone has daylight saving, as the runtime sees it.
bool ZoneHasDaylightSaving() {
    _tzset();
    return _daylight != 0;
}

}  // namespace

TEST(TimeStampTest, TheStartTextIsTheUtcReadingInEveryZone) {
    const struct {
        const char* zone;
        SYSTEMTIME local, utc;
        const wchar_t* text;
    } cases[] = {
        {"UTC+8, the date goes back", At(2026, 3, 5, 1, 30, 0), At(2026, 3, 4, 17, 30, 0), L"2026-03-04 17:30:00"},
        {"UTC+8, afternoon", At(2026, 3, 5, 14, 7, 9), At(2026, 3, 5, 6, 7, 9), L"2026-03-05 06:07:09"},
        {"UTC-5, the date goes forward", At(2026, 1, 10, 21, 0, 0), At(2026, 1, 11, 2, 0, 0), L"2026-01-11 02:00:00"},
        {"UTC+2 on daylight saving", At(2026, 7, 1, 14, 0, 0), At(2026, 7, 1, 12, 0, 0), L"2026-07-01 12:00:00"},
        {"new year west of Greenwich", At(2026, 12, 31, 20, 0, 0), At(2027, 1, 1, 1, 0, 0), L"2027-01-01 01:00:00"},
    };
    for (const auto& c : cases) {
        if (ZoneHasDaylightSaving() && c.utc.wMonth == 3) continue;  // may hit the skipped hour
        const std::wstring text = StartTextAt(c.local, c.utc);
        EXPECT_EQ(text, c.text) << c.zone;
        EXPECT_EQ(text.size(), 19u) << c.zone;
    }
}

TEST(TimeStampTest, YearsBefore1900AreTimeZero) {
    EXPECT_EQ(CalendarToTime(At(1899, 12, 31, 23, 59, 59)), 0);
    EXPECT_NE(CalendarToTime(At(1990, 1, 1, 0, 0, 0)), 0);
}

TEST(TimeStampTest, AValueThatCannotBeBrokenDownRendersEmpty) {
    EXPECT_EQ(FormatTimeStamp(-1000000000000LL), L"");
}

// With the real clock, in whatever zone the process runs (ctest runs this east and west of
// Greenwich through TZ): the text is the true UTC time, to the second.
TEST(TimeStampTest, TheRealStartTextMatchesTheSystemClock) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        SYSTEMTIME before;
        GetSystemTime(&before);
        const std::wstring text = FormatTimeStamp(LocalToUtc(GetLocalNow()));
        SYSTEMTIME after;
        GetSystemTime(&after);
        if (before.wSecond != after.wSecond) continue;  // a second boundary fell between
        wchar_t expected[32] = {};
        _snwprintf(expected, 31, L"%04d-%02d-%02d %02d:%02d:%02d", before.wYear, before.wMonth, before.wDay,
                   before.wHour, before.wMinute, before.wSecond);
        EXPECT_EQ(text, expected);
        return;
    }
    FAIL() << "the clock never held still for one reading";
}

// Clocks go forward at 02:00 local on 2026-03-08 in US Eastern time. At 21:30 local the day
// before, the UTC reading is 02:30 of that day: read as local time it does not exist, and
// the runtime moves it by the hour the clocks skip (which way is the runtime's choice:
// Wine's goes back, to 01:30). An hour later the reading exists again and the text is exact.
TEST(TimeStampTest, AUtcReadingInTheSkippedLocalHourIsShiftedByTheDaylightSavingStep) {
    _tzset();
    if (!ZoneHasDaylightSaving() || _timezone != 5 * 3600) {
        GTEST_SKIP() << "needs US Eastern time (ctest runs this with TZ=EST5EDT)";
    }
    const std::wstring shifted = StartTextAt(At(2026, 3, 7, 21, 30, 0), At(2026, 3, 8, 2, 30, 0));
    EXPECT_TRUE(shifted == L"2026-03-08 01:30:00" || shifted == L"2026-03-08 03:30:00") << Narrow(shifted);
    EXPECT_EQ(StartTextAt(At(2026, 3, 7, 22, 30, 0), At(2026, 3, 8, 3, 30, 0)), L"2026-03-08 03:30:00");
}
