#include "Calendar.h"
#include "ScopedEnvironment.h"

#include <gtest/gtest.h>

using namespace kelo;
using namespace std::chrono;

namespace {

// The instant of a UTC wall-clock time.
Instant utc(int y, unsigned m, unsigned d, int hour = 0, int minute = 0) {
    return Instant(sys_days(year(y) / month(m) / day(d)) + hours(hour) + minutes(minute));
}

const Calendar amsterdam = Calendar::forZone("Europe/Amsterdam");

// The instant a local "yyyy-MM-dd" day starts, through the stamp parser.
Instant dayStart(const char *text, const Calendar &calendar = amsterdam) {
    return calendar.parseStampText(text).value();
}

} // namespace

TEST(Calendar, FollowsTzAtEveryCall) {
    // A hand-written rule, in summer time: 29 March 2026 has 23 hours, 25 October 2026 has 25.
    ScopedEnvironment tz("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    const Calendar rules = Calendar::current();
    EXPECT_EQ(rules.startOfDay(utc(2026, 7, 15, 12)), utc(2026, 7, 14, 22));
    EXPECT_EQ(dayStart("2026-03-30", rules) - dayStart("2026-03-29", rules), hours(23));
    EXPECT_EQ(dayStart("2026-10-26", rules) - dayStart("2026-10-25", rules), hours(25));
    // Not a zone and not a rule: still some zone, never a crash.
    ScopedEnvironment nonsense("TZ", "no such zone ,,, M99");
    EXPECT_TRUE(Calendar::current().stampText(utc(2026, 6, 1)).has_value());
}

TEST(Calendar, DaysStartAtTheirFirstMomentAndCountAsOne) {
    // Chile moves from 00:00 to 01:00 on Sunday 6 September 2026: that day has no midnight.
    const Calendar santiago = Calendar::forZone("America/Santiago");
    const Instant start = utc(2026, 9, 6, 4); // 01:00 at UTC-3 == 00:00 at UTC-4
    EXPECT_EQ(santiago.startOfDay(utc(2026, 9, 6, 16)), start);
    EXPECT_EQ(santiago.parseStampText("2026-09-06"), start);
    EXPECT_EQ(santiago.daysBetween(santiago.startOfDay(utc(2026, 9, 5, 16)), start), 1);
    // Havana falls back from 01:00 to 00:00 on Sunday 1 November 2026: midnight comes twice.
    EXPECT_EQ(Calendar::forZone("America/Havana").startOfDay(utc(2026, 11, 1, 18)),
              utc(2026, 11, 1, 4)); // 00:00 at UTC-4, the first of the two
    // Late evening to early morning is one day; across the 23-hour day it is still one per day.
    EXPECT_EQ(amsterdam.daysBetween(utc(2026, 12, 5, 22, 59), utc(2026, 12, 5, 23, 1)), 1);
    const Instant before = dayStart("2026-03-28");
    EXPECT_EQ(amsterdam.daysBetween(before, amsterdam.adding(before, DateComponent::Day, 2)), 2);
    EXPECT_EQ(amsterdam.daysBetween(dayStart("2026-10-30"), utc(2026, 10, 24, 12)), -6);
}

TEST(Calendar, AddingPinsTheDayOfTheMonth) {
    EXPECT_EQ(
        amsterdam.stampText(amsterdam.adding(dayStart("2027-01-31"), DateComponent::Month, 1)),
        "2027-02-28");
    EXPECT_EQ(amsterdam.stampText(amsterdam.adding(dayStart("2028-02-29"), DateComponent::Year, 1)),
              "2029-02-28");
    // The time of day is carried across the clock change: 23:00 local in winter time.
    EXPECT_EQ(amsterdam.adding(utc(2026, 3, 26, 22), DateComponent::Day, 7), utc(2026, 4, 2, 21));
}

TEST(Calendar, WeeklyMomentMatchesAndIsFoundAcrossClockChanges) {
    const Weekday friday = 6;
    const Instant fridayFour = utc(2026, 12, 4, 15); // Friday 4 December, 16:00 local
    EXPECT_TRUE(amsterdam.matches(fridayFour + milliseconds(999), friday, 16));
    EXPECT_FALSE(amsterdam.matches(fridayFour + seconds(1), friday, 16));
    EXPECT_FALSE(amsterdam.matches(fridayFour, friday - 1, 16));
    EXPECT_EQ(amsterdam.searchBackward(fridayFour + seconds(1), friday, 16), fridayFour);
    EXPECT_EQ(amsterdam.searchBackward(fridayFour, friday, 16), fridayFour - days(7));
    EXPECT_FALSE(amsterdam.searchBackward(fridayFour, 8, 16) ||
                 amsterdam.searchBackward(fridayFour, friday, 24));
    // Summer time starts on Friday at 16:00, which is skipped: the moment is 17:00 summer time.
    const Calendar forward = Calendar::forZone("CET-1CEST,M3.5.5/16,M10.5.0/3");
    EXPECT_EQ(forward.searchBackward(utc(2026, 3, 28, 12), friday, 16), utc(2026, 3, 27, 15));
    // Summer time ends on Friday at 17:00, so 16:00 comes twice: the first one counts.
    const Calendar back = Calendar::forZone("CET-1CEST,M3.5.0,M10.5.5/17");
    EXPECT_EQ(back.searchBackward(utc(2026, 10, 30, 20), friday, 16), utc(2026, 10, 30, 14));
}

TEST(Calendar, LocaleComesFromTheEnvironmentInOrder) {
    ScopedEnvironment lang("LANG", "de_DE.UTF-8@euro");
    {
        ScopedEnvironment all("LC_ALL", "nl_BE.UTF-8"), time("LC_TIME", "fr_FR.UTF-8");
        EXPECT_EQ(currentDateLocaleName(), "nl_BE");
    }
    ScopedEnvironment all("LC_ALL", nullptr);
    {
        ScopedEnvironment time("LC_TIME", "");
        EXPECT_EQ(currentDateLocaleName(), "de_DE");
    }
    // LC_TIME before LANG, which would give German.
    ScopedEnvironment time("LC_TIME", "C.UTF-8");
    EXPECT_EQ(Calendar::current().longDate(utc(2026, 12, 5, 12), Language::english),
              "December 5, 2026");
}
