#include "WeeklyMoment.h"

namespace kelo {

Instant WeeklyMoment::mostRecent(Instant atOrBefore, const Calendar &calendar) const {
    if (calendar.matches(atOrBefore, weekday, hour))
        return atOrBefore;
    // Always found for a weekday 1…7 and an hour 0…23; the distant past only for a moment that
    // names neither.
    return calendar.searchBackward(atOrBefore, weekday, hour).value_or(distantPast());
}

} // namespace kelo
