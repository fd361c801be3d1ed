#pragma once

#include "Calendar.h"

namespace kelo {

// A recurring local time in the week: a weekday (1 Sunday … 7 Saturday) and an hour, at minute
// 0 and second 0.
struct WeeklyMoment {
    Weekday weekday = 6;
    int hour = 16;

    // The latest instant at or before `instant` at which the calendar shows this moment. On a day
    // whose clock skips the hour, the first existing time after the gap; when the hour comes
    // twice, the first time.
    Instant mostRecent(Instant atOrBefore, const Calendar &calendar) const;

    bool operator==(const WeeklyMoment &) const = default;
};

} // namespace kelo
