#pragma once

#include <array>
#include <optional>
#include <string>

#include "Calendar.h"

namespace kelo {

// How close a stamped file is to its date, by whole calendar days left. Ordered by raw value:
// the shelf lists `expired` first.
enum class Freshness { expired = 0, thisWeek = 1, thisMonth = 2, fresh = 3 };

inline constexpr std::array<Freshness, 4> allFreshnesses = {Freshness::expired, Freshness::thisWeek,
                                                            Freshness::thisMonth, Freshness::fresh};

std::optional<Freshness> freshnessFromRaw(int raw);

// Calendar days from today to the expiry day: positive ahead, 0 today, negative past.
int daysLeft(Instant expiry, Instant now, const Calendar &calendar);
// expired up to 0 days, thisWeek 1 to 7, thisMonth 8 to 31, fresh from 32.
Freshness freshnessForDays(int days);
Freshness freshness(Instant expiry, Instant now, const Calendar &calendar);
// "nog 12 dagen", "nog 1 dag", "vandaag over de datum", "sinds gisteren over de datum",
// "3 dagen over de datum".
std::string daysLeftText(Instant expiry, Instant now, const Calendar &calendar);
std::string daysLeftText(int days);

} // namespace kelo
