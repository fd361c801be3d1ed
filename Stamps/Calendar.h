#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <unicode/datefmt.h>
#include <unicode/gregocal.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>

#include "Language.h"

namespace kelo {

// A moment in time, to the millisecond (the resolution of ICU's dates).
using Instant = std::chrono::sys_time<std::chrono::milliseconds>;

Instant currentInstant();
// Earlier than any date a stamp or a user default can hold.
Instant distantPast();

// A calendar field that terms add to a date.
enum class DateComponent { Day, Month, Year };

// A weekday number: 1 is Sunday, 7 is Saturday.
using Weekday = int;

// The texts of the date badge on a shelf row: "5 dec" and "2026" in Dutch.
struct BadgeParts {
    std::string dayMonth;
    std::string year;
};

// The user's Gregorian calendar in one time zone and locale. `current()` takes the zone and the
// locale in force at the moment of the call; keep the result for one task (drawing a list,
// sorting a shelf) and take a new one for the next. Not shareable between threads; copy it.
class Calendar {
public:
    // The time zone of `TZ` or /etc/localtime, and the locale of LC_ALL, LC_TIME or LANG, as
    // they stand now.
    static Calendar current();
    // A calendar for an explicit zone (anything `TZ` may hold) and locale.
    static Calendar forZone(std::string_view zoneId, std::string_view localeName = "en_US_POSIX");

    Calendar(const Calendar &other);
    Calendar &operator=(const Calendar &other);
    Calendar(Calendar &&) noexcept;
    Calendar &operator=(Calendar &&) noexcept;
    ~Calendar();

    std::string zoneId() const;
    std::string localeName() const;

    // 00:00 of the instant's local day; the first existing moment of the day when its
    // midnight is skipped by a clock change.
    Instant startOfDay(Instant instant) const;
    // The instant `amount` components later, carrying into larger units; a day of the month
    // that does not exist in the target month becomes its last day; the time of day is kept.
    Instant adding(Instant instant, DateComponent component, int amount) const;
    // Whole calendar days from the local day of `from` to the local day of `to`; a day of 23 or
    // 25 hours counts as one.
    int daysBetween(Instant from, Instant to) const;

    // Whether the instant shows exactly this weekday and hour at minute 0 and second 0;
    // fractions of a second are ignored.
    bool matches(Instant instant, Weekday weekday, int hour) const;
    // The latest instant before `instant` showing the weekday and hour at :00:00. A skipped hour
    // becomes the first existing time after the gap; a repeated hour its first occurrence.
    // None only for a weekday outside 1...7 or an hour outside 0...23.
    std::optional<Instant> searchBackward(Instant instant, Weekday weekday, int hour) const;

    // "yyyy-MM-dd" of the instant's local Gregorian day; none outside the years 1 to 9999.
    std::optional<std::string> stampText(Instant instant) const;
    // The start of the local day that a "yyyy-MM-dd" text names, or none for anything else.
    std::optional<Instant> parseStampText(std::string_view text) const;

    // The date alone in the long style of the locale, in the language given: the locale's own
    // when it speaks that language ("5 december 2026" for nl_NL, "5 December 2026" for en_GB),
    // else the language's plain one ("December 5, 2026" for English under de_DE).
    std::string longDate(Instant instant, Language language) const;
    BadgeParts badgeParts(Instant instant) const;

private:
    Calendar(std::shared_ptr<const icu::TimeZone> zone, const icu::Locale &locale);
    icu::GregorianCalendar &at(Instant instant) const;

    std::shared_ptr<const icu::TimeZone> m_zone;
    icu::Locale m_locale;
    std::unique_ptr<icu::GregorianCalendar> m_calendar;
    // Built on first use: formatters are costly to make and a calendar serves one task.
    mutable std::unique_ptr<icu::DateFormat> m_longDateFormat;
    mutable Language m_longDateLanguage = Language::english;
    mutable std::unique_ptr<icu::DateFormat> m_dayMonthFormat;
    mutable std::unique_ptr<icu::DateFormat> m_yearFormat;
};

// How long from `now` until the next local day begins, and a second more so that the day has
// surely turned: when a view that shows days left redraws by itself.
std::chrono::milliseconds timeUntilNextDay(Instant now = currentInstant());

// The zone in force now: `TZ`, else /etc/localtime. Cheap when neither changed since the last
// call, so loops may call it freely. Thread-safe.
std::shared_ptr<const icu::TimeZone> currentTimeZone();
// The zone a `TZ` value names: an Olson id (optionally after ':' or as a zoneinfo path) or a
// POSIX rule; ICU's unknown zone (UTC) when it names none.
std::shared_ptr<const icu::TimeZone> timeZoneNamed(std::string_view tz);
// The locale for dates: LC_ALL, else LC_TIME, else LANG, as ICU names it ("nl_NL").
std::string currentDateLocaleName();

} // namespace kelo
