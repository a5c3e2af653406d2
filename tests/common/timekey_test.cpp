#include "common/TimeKey.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <ctime>

namespace zeb {
namespace {

// The day count of the original program: years beginning in March, the
// leap-year rule of every fourth year (right from 1901-03-01 to 2100-02-28).
std::int64_t originalDayNumber(int year, int month, int day) {
    std::int64_t y = year, m = month;
    if (month < 3) {
        y = year - 1;
        m = month + 13;
    } else {
        m = month + 1;
    }
    return day + (153 * m) / 5 + (1461 * y) / 4;
}

std::int64_t originalKey(const NameTime& t) {
    const std::int64_t d =
        originalDayNumber(t.year, t.month, t.day) - originalDayNumber(1970, 1, 1);
    return ((d * 24 + t.hour) * 60 + t.minute) * 60 + t.second;
}

TEST(TimeKey, EveryDayFrom1970To2037AgreesWithTheCLibraryAndTheOriginalFormula) {
    // The C library's timegm is an independent calendar implementation.
    int days = 0;
    for (int year = 1970; year <= 2037; ++year) {
        for (int month = 1; month <= 12; ++month) {
            for (int day = 1; day <= 31; ++day) {
                const NameTime t{year, month, day, 13, 47, 0};
                if (!isValid(t)) continue;
                std::tm tm{};
                tm.tm_year = year - 1900;
                tm.tm_mon = month - 1;
                tm.tm_mday = day;
                tm.tm_hour = 13;
                tm.tm_min = 47;
                const TimeKey expected = timegm(&tm);
                ASSERT_EQ(timeKey(t), expected) << year << '-' << month << '-' << day;
                ASSERT_EQ(timeKey(t), originalKey(t)) << year << '-' << month << '-' << day;
                ASSERT_EQ(breakDown(expected), t) << year << '-' << month << '-' << day;
                ++days;
            }
        }
    }
    EXPECT_EQ(days, 24837);  // 1970-01-01 .. 2037-12-31
}

TEST(TimeKey, BeyondSigned32BitsStaysCorrectAndFitsTheStoredForm) {
    // 2038-01-19 03:15 does not fit a signed 32-bit key any more.
    const NameTime t{2038, 1, 19, 3, 15, 0};
    EXPECT_EQ(timeKey(t), 2147483700);
    ASSERT_TRUE(toStored32(timeKey(t)).has_value());
    EXPECT_EQ(fromStored32(*toStored32(timeKey(t))), 2147483700);
    EXPECT_EQ(breakDown(2147483700), t);

    // The original formula counts 2100 as a leap year; the Gregorian calendar does not.
    const NameTime march2100{2100, 3, 1, 0, 0, 0};
    EXPECT_EQ(timeKey(march2100) - timeKey(NameTime{2100, 2, 28, 0, 0, 0}), 86400);
    EXPECT_EQ(breakDown(timeKey(march2100)), march2100);

    const NameTime last{2106, 2, 7, 6, 28, 15};
    EXPECT_EQ(toStored32(timeKey(last)), UINT32_MAX);
    EXPECT_FALSE(toStored32(timeKey(last) + 1).has_value());
    EXPECT_FALSE(toStored32(-1).has_value());
}

TEST(TimeKey, NameFieldRanges) {
    EXPECT_TRUE(isValid({2004, 2, 29, 23, 59, 59}));
    EXPECT_FALSE(isValid({2005, 2, 29, 0, 0, 0}));
    EXPECT_TRUE(isValid({2000, 2, 29, 0, 0, 0}));
    EXPECT_FALSE(isValid({2100, 2, 29, 0, 0, 0}));
    EXPECT_FALSE(isValid({2004, 4, 31, 0, 0, 0}));
    EXPECT_FALSE(isValid({2004, 13, 1, 0, 0, 0}));
    EXPECT_FALSE(isValid({2004, 0, 1, 0, 0, 0}));
    EXPECT_FALSE(isValid({2004, 1, 0, 0, 0, 0}));
    EXPECT_FALSE(isValid({2004, 1, 1, 24, 0, 0}));
    EXPECT_FALSE(isValid({2004, 1, 1, 0, 60, 0}));
    EXPECT_FALSE(isValid({1969, 12, 31, 23, 59, 0}));
}

TEST(TimeKey, LocalNamesFollowTheTimeZoneRules) {
    test::ScopedEnv tz("TZ", "Europe/Berlin");
    tzset();
    // Summer time: UTC+2.
    const NameTime summer{2004, 6, 3, 14, 5, 0};
    EXPECT_EQ(localTimeKey(summer), timeKey(NameTime{2004, 6, 3, 12, 5, 0}));
    EXPECT_EQ(breakDownLocal(timeKey(NameTime{2004, 6, 3, 12, 5, 0})), summer);
    // Winter time: UTC+1.
    EXPECT_EQ(localTimeKey({2004, 1, 3, 0, 30, 0}), timeKey(NameTime{2004, 1, 2, 23, 30, 0}));
    unsetenv("TZ");
    tzset();
}

}  // namespace
}  // namespace zeb
