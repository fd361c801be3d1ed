#include "Freshness.h"

namespace kelo {

std::optional<Freshness> freshnessFromRaw(int raw) {
    if (raw < 0 || raw >= static_cast<int>(allFreshnesses.size()))
        return std::nullopt;
    return static_cast<Freshness>(raw);
}

int daysLeft(Instant expiry, Instant now, const Calendar &calendar) {
    return calendar.daysBetween(now, expiry);
}

Freshness freshnessForDays(int days) {
    if (days <= 0)
        return Freshness::expired;
    if (days <= 7)
        return Freshness::thisWeek;
    if (days <= 31)
        return Freshness::thisMonth;
    return Freshness::fresh;
}

Freshness freshness(Instant expiry, Instant now, const Calendar &calendar) {
    return freshnessForDays(daysLeft(expiry, now, calendar));
}

std::string daysLeftText(int days) {
    if (days >= 2)
        return "nog " + std::to_string(days) + " dagen";
    if (days == 1)
        return "nog 1 dag";
    if (days == 0)
        return "vandaag over de datum";
    if (days == -1)
        return "sinds gisteren over de datum";
    // Widened so that the most negative int still negates.
    return std::to_string(-static_cast<long long>(days)) + " dagen over de datum";
}

std::string daysLeftText(Instant expiry, Instant now, const Calendar &calendar) {
    return daysLeftText(daysLeft(expiry, now, calendar));
}

} // namespace kelo
