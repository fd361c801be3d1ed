#include "Freshness.h"
#include "Term.h"

#include <gtest/gtest.h>

using namespace kelo;
using namespace std::chrono;

namespace {

const Calendar amsterdam = Calendar::forZone("Europe/Amsterdam");

Instant local(const char *date, int hour = 0, int minute = 0) {
    return amsterdam.parseStampText(date).value() + hours(hour) + minutes(minute);
}

std::string expiryText(Term term, Instant now) {
    return amsterdam.stampText(expiryDate(term, now, amsterdam)).value();
}

} // namespace

TEST(Term, RawValuesAndExpiryDates) {
    EXPECT_EQ(termFromRaw(0), Term::week);
    EXPECT_EQ(termFromRaw(3), Term::year);
    EXPECT_FALSE(termFromRaw(4));
    EXPECT_FALSE(termFromRaw(-1));
    // Month ends and leap days are the calendar's; here each term's length, from an afternoon.
    const Instant wednesday = local("2026-06-10", 15);
    EXPECT_EQ(expiryText(Term::week, wednesday), "2026-06-17");
    EXPECT_EQ(expiryText(Term::month, wednesday), "2026-07-10");
    EXPECT_EQ(expiryText(Term::threeMonths, wednesday), "2026-09-10");
    EXPECT_EQ(expiryText(Term::year, wednesday), "2027-06-10");
    EXPECT_EQ(expiryDate(Term::week, wednesday, amsterdam), local("2026-06-17"));
}

TEST(Term, TimeOfDayAndClockChangesDoNotMatter) {
    EXPECT_EQ(expiryDate(Term::week, local("2026-12-06", 0, 1), amsterdam),
              expiryDate(Term::week, local("2026-12-06", 23, 59), amsterdam));
    // A week from just before the spring change and from the last minute of the short day.
    EXPECT_EQ(expiryText(Term::week, local("2026-03-28", 23, 30)), "2026-04-04");
    EXPECT_EQ(expiryText(Term::week, local("2026-03-29", 22, 59)), "2026-04-05");
    EXPECT_EQ(expiryText(Term::month, local("2026-10-25", 23, 59) + hours(1)), "2026-11-25");
}

TEST(Freshness, ClassesByDaysLeft) {
    const std::pair<int, Freshness> cases[] = {
        {-400, Freshness::expired}, {-1, Freshness::expired}, {0, Freshness::expired},
        {1, Freshness::thisWeek},   {7, Freshness::thisWeek}, {8, Freshness::thisMonth},
        {31, Freshness::thisMonth}, {32, Freshness::fresh},   {5000, Freshness::fresh}};
    for (const auto &[days, expected] : cases)
        EXPECT_EQ(freshnessForDays(days), expected) << days;
    EXPECT_EQ(freshnessFromRaw(2), Freshness::thisMonth);
    EXPECT_FALSE(freshnessFromRaw(4));
    EXPECT_FALSE(freshnessFromRaw(-1));
}

TEST(Freshness, DaysLeftAndTextsAtAnyHour) {
    const Instant today = local("2026-12-06");
    for (int hour : {0, 9, 23}) {
        const Instant now = today + hours(hour) + minutes(hour == 23 ? 59 : 0);
        EXPECT_EQ(daysLeftText(local("2026-12-07"), now, amsterdam), "nog 1 dag");
        EXPECT_EQ(freshness(local("2026-12-07"), now, amsterdam), Freshness::thisWeek);
        EXPECT_EQ(daysLeftText(today, now, amsterdam), "vandaag over de datum");
        EXPECT_EQ(freshness(today, now, amsterdam), Freshness::expired);
        EXPECT_EQ(daysLeftText(local("2026-12-05"), now, amsterdam),
                  "sinds gisteren over de datum");
        EXPECT_EQ(daysLeftText(local("2026-12-04"), now, amsterdam), "2 dagen over de datum");
        EXPECT_EQ(daysLeftText(local("2026-12-08"), now, amsterdam), "nog 2 dagen");
    }
    EXPECT_EQ(daysLeftText(local("2029-12-06"), today, amsterdam), "nog 1096 dagen");
    EXPECT_EQ(daysLeftText(std::numeric_limits<int>::min()), "2147483648 dagen over de datum");
    // One step per day across both clock changes.
    const Instant expiry = local("2026-11-15");
    Instant day = local("2026-10-20", 12);
    for (int expected = 26; expected >= -3; --expected) {
        EXPECT_EQ(daysLeft(expiry, day, amsterdam), expected);
        day = amsterdam.adding(day, DateComponent::Day, 1);
    }
}
