#include "Freshness.h"
#include "Term.h"

#include <climits>

#include <gtest/gtest.h>

using namespace kelo;
using namespace std::chrono;

namespace {

const Calendar amsterdam = Calendar::forZone("Europe/Amsterdam");

Instant local(const char *date, int hour = 0, int minute = 0) {
    return amsterdam.parseStampText(date).value() + hours(hour) + minutes(minute);
}

} // namespace

TEST(Term, ExpiryIsTheStartOfTheDayATermAfterNow) {
    EXPECT_TRUE(termFromRaw(3) == Term::year && freshnessFromRaw(2) == Freshness::thisMonth);
    EXPECT_FALSE(termFromRaw(4) || termFromRaw(-1) || freshnessFromRaw(4) || freshnessFromRaw(-1));
    // Month ends and leap days are the calendar's; here each term's length, from an afternoon,
    // and a week and a month from late on the days of the clock changes.
    const std::tuple<Term, Instant, const char *> cases[] = {
        {Term::week, local("2026-06-10", 15), "2026-06-17"},
        {Term::threeMonths, local("2026-06-10", 15), "2026-09-10"},
        {Term::year, local("2026-06-10", 15), "2027-06-10"},
        {Term::week, local("2026-03-28", 23, 30), "2026-04-04"},
        {Term::month, local("2026-10-25", 23, 59) + hours(1), "2026-11-25"}};
    for (const auto &[term, now, expected] : cases)
        EXPECT_EQ(expiryDate(term, now, amsterdam), local(expected)) << expected;
}

TEST(Freshness, ClassesAndTextsByDaysLeft) {
    const std::tuple<int, Freshness, const char *> cases[] = {
        {INT_MIN, Freshness::expired, "2147483648 dagen over de datum"},
        {-1, Freshness::expired, "sinds gisteren over de datum"},
        {0, Freshness::expired, "vandaag over de datum"},
        {1, Freshness::thisWeek, "nog 1 dag"},
        {7, Freshness::thisWeek, "nog 7 dagen"},
        {8, Freshness::thisMonth, "nog 8 dagen"},
        {31, Freshness::thisMonth, "nog 31 dagen"},
        {32, Freshness::fresh, "nog 32 dagen"}};
    for (const auto &[days, expected, text] : cases) {
        EXPECT_EQ(freshnessForDays(days), expected) << days;
        EXPECT_EQ(daysLeftText(days), text);
    }
    // Counted in calendar days from now to the expiry, whatever the hour.
    const Instant lastMinute = local("2026-12-06", 23, 59);
    EXPECT_EQ(daysLeft(local("2026-12-08"), lastMinute, amsterdam), 2);
    EXPECT_EQ(daysLeftText(local("2026-12-07"), lastMinute, amsterdam), "nog 1 dag");
    EXPECT_EQ(freshness(local("2026-12-08"), lastMinute, amsterdam), Freshness::thisWeek);
}
