#include "Calendar.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

#include <unicode/datefmt.h>
#include <unicode/dtptngen.h>
#include <unicode/smpdtfmt.h>

namespace kelo {
namespace {

// ICU's earliest date: made the Julian-to-Gregorian change so that every date is proleptic
// Gregorian, as stamps and std::chrono count them.
constexpr UDate earliestDate = -184303902528000000.0;

UDate toUDate(Instant instant) {
    return static_cast<UDate>(instant.time_since_epoch().count());
}

Instant fromUDate(UDate date) {
    return Instant(std::chrono::milliseconds(static_cast<long long>(date)));
}

std::string toUtf8(const icu::UnicodeString &text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

std::unique_ptr<icu::GregorianCalendar> makeCalendar(const icu::TimeZone &zone,
                                                     const icu::Locale &locale) {
    UErrorCode status = U_ZERO_ERROR;
    auto calendar = std::make_unique<icu::GregorianCalendar>(zone, locale, status);
    if (U_FAILURE(status))
        calendar = std::make_unique<icu::GregorianCalendar>(zone, icu::Locale::getRoot(), status);
    calendar->setGregorianChange(earliestDate, status);
    calendar->setSkippedWallTimeOption(UCAL_WALLTIME_NEXT_VALID);
    calendar->setRepeatedWallTimeOption(UCAL_WALLTIME_FIRST);
    return calendar;
}

icu::UnicodeString formatted(icu::DateFormat &format, const icu::TimeZone &zone, Instant instant) {
    format.setTimeZone(zone);
    icu::UnicodeString text;
    format.format(toUDate(instant), text);
    return text;
}

std::unique_ptr<icu::DateFormat> skeletonFormat(const char *skeleton, const icu::Locale &locale) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::DateTimePatternGenerator> generator(
        icu::DateTimePatternGenerator::createInstance(locale, status));
    if (U_FAILURE(status))
        return nullptr;
    const icu::UnicodeString pattern = generator->getBestPattern(skeleton, status);
    auto format = std::make_unique<icu::SimpleDateFormat>(pattern, locale, status);
    if (U_FAILURE(status))
        return nullptr;
    return format;
}

} // namespace

Instant currentInstant() {
    return std::chrono::time_point_cast<std::chrono::milliseconds>(
        std::chrono::system_clock::now());
}

Instant distantPast() {
    return fromUDate(earliestDate);
}

Calendar Calendar::current() {
    // Building an ICU calendar loads locale data; cloning the last one built for the same zone
    // and locale is several times cheaper.
    static std::mutex mutex;
    static std::optional<Calendar> last;
    auto zone = currentTimeZone();
    const icu::Locale locale(currentDateLocaleName().c_str());
    std::lock_guard lock(mutex);
    if (!last || last->m_zone != zone || last->m_locale != locale)
        last.emplace(Calendar(std::move(zone), locale));
    return *last;
}

Calendar Calendar::forZone(std::string_view zoneId, std::string_view localeName) {
    return Calendar(timeZoneNamed(zoneId), icu::Locale(std::string(localeName).c_str()));
}

Calendar::Calendar(std::shared_ptr<const icu::TimeZone> zone, const icu::Locale &locale)
    : m_zone(std::move(zone)), m_locale(locale), m_calendar(makeCalendar(*m_zone, m_locale)) {
}

Calendar::Calendar(const Calendar &other)
    : m_zone(other.m_zone), m_locale(other.m_locale), m_calendar(other.m_calendar->clone()) {
}

Calendar &Calendar::operator=(const Calendar &other) {
    if (this != &other)
        *this = Calendar(other);
    return *this;
}

Calendar::Calendar(Calendar &&) noexcept = default;
Calendar &Calendar::operator=(Calendar &&) noexcept = default;
Calendar::~Calendar() = default;

std::string Calendar::zoneId() const {
    icu::UnicodeString id;
    return toUtf8(m_zone->getID(id));
}

std::string Calendar::localeName() const {
    return m_locale.getName();
}

icu::GregorianCalendar &Calendar::at(Instant instant) const {
    UErrorCode status = U_ZERO_ERROR;
    m_calendar->setTime(toUDate(instant), status);
    return *m_calendar;
}

Instant Calendar::startOfDay(Instant instant) const {
    auto &calendar = at(instant);
    UErrorCode status = U_ZERO_ERROR;
    const int year = calendar.get(UCAL_EXTENDED_YEAR, status);
    const int month = calendar.get(UCAL_MONTH, status);
    const int day = calendar.get(UCAL_DATE, status);
    calendar.clear();
    calendar.set(UCAL_EXTENDED_YEAR, year);
    calendar.set(UCAL_MONTH, month);
    calendar.set(UCAL_DATE, day);
    const UDate start = calendar.getTime(status);
    return U_SUCCESS(status) ? fromUDate(start) : instant;
}

Instant Calendar::adding(Instant instant, DateComponent component, int amount) const {
    auto &calendar = at(instant);
    UErrorCode status = U_ZERO_ERROR;
    const UCalendarDateFields field = component == DateComponent::Day     ? UCAL_DATE
                                      : component == DateComponent::Month ? UCAL_MONTH
                                                                          : UCAL_YEAR;
    calendar.add(field, amount, status);
    const UDate result = calendar.getTime(status);
    return U_SUCCESS(status) ? fromUDate(result) : instant;
}

int Calendar::daysBetween(Instant from, Instant to) const {
    // Julian day numbers count local calendar days, whatever the length of each day.
    UErrorCode status = U_ZERO_ERROR;
    const int first = at(from).get(UCAL_JULIAN_DAY, status);
    const int second = at(to).get(UCAL_JULIAN_DAY, status);
    return second - first;
}

bool Calendar::matches(Instant instant, Weekday weekday, int hour) const {
    auto &calendar = at(instant);
    UErrorCode status = U_ZERO_ERROR;
    return calendar.get(UCAL_DAY_OF_WEEK, status) == weekday &&
           calendar.get(UCAL_HOUR_OF_DAY, status) == hour &&
           calendar.get(UCAL_MINUTE, status) == 0 && calendar.get(UCAL_SECOND, status) == 0 &&
           U_SUCCESS(status);
}

std::optional<Instant> Calendar::searchBackward(Instant instant, Weekday weekday, int hour) const {
    if (weekday < 1 || weekday > 7 || hour < 0 || hour > 23)
        return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    auto &calendar = at(instant);
    const int today = calendar.get(UCAL_JULIAN_DAY, status);
    // The match lies on the instant's own day or up to seven days before it.
    for (int back = 0; back <= 7; ++back) {
        calendar.clear();
        calendar.set(UCAL_JULIAN_DAY, today - back);
        if (calendar.get(UCAL_DAY_OF_WEEK, status) != weekday)
            continue;
        const int year = calendar.get(UCAL_EXTENDED_YEAR, status);
        const int month = calendar.get(UCAL_MONTH, status);
        const int day = calendar.get(UCAL_DATE, status);
        calendar.clear();
        calendar.set(UCAL_EXTENDED_YEAR, year);
        calendar.set(UCAL_MONTH, month);
        calendar.set(UCAL_DATE, day);
        calendar.set(UCAL_HOUR_OF_DAY, hour);
        const UDate candidate = calendar.getTime(status);
        if (U_FAILURE(status))
            return std::nullopt;
        if (fromUDate(candidate) < instant)
            return fromUDate(candidate);
    }
    return std::nullopt;
}

std::optional<std::string> Calendar::stampText(Instant instant) const {
    auto &calendar = at(instant);
    UErrorCode status = U_ZERO_ERROR;
    const int year = calendar.get(UCAL_EXTENDED_YEAR, status);
    const int month = calendar.get(UCAL_MONTH, status) + 1;
    const int day = calendar.get(UCAL_DATE, status);
    if (U_FAILURE(status) || year < 1 || year > 9999)
        return std::nullopt;
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
    return std::string(text);
}

std::optional<Instant> Calendar::parseStampText(std::string_view text) const {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return std::nullopt;
    auto digits = [&](size_t from, size_t count) -> std::optional<int> {
        int value = 0;
        for (size_t i = from; i < from + count; ++i) {
            if (text[i] < '0' || text[i] > '9')
                return std::nullopt;
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    const auto year = digits(0, 4), month = digits(5, 2), day = digits(8, 2);
    if (!year || !month || !day || *year < 1)
        return std::nullopt;
    const std::chrono::year_month_day date{std::chrono::year(*year),
                                           std::chrono::month(static_cast<unsigned>(*month)),
                                           std::chrono::day(static_cast<unsigned>(*day))};
    if (!date.ok())
        return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    m_calendar->clear();
    m_calendar->set(UCAL_EXTENDED_YEAR, *year);
    m_calendar->set(UCAL_MONTH, *month - 1);
    m_calendar->set(UCAL_DATE, *day);
    const UDate start = m_calendar->getTime(status);
    if (U_FAILURE(status))
        return std::nullopt;
    return fromUDate(start);
}

std::string Calendar::longDate(Instant instant, Language language) const {
    if (!m_longDateFormat || m_longDateLanguage != language) {
        const char *code = language == Language::dutch ? "nl" : "en";
        const icu::Locale locale =
            std::string_view(m_locale.getLanguage()) == code ? m_locale : icu::Locale(code);
        m_longDateFormat.reset(icu::DateFormat::createDateInstance(icu::DateFormat::kLong, locale));
        m_longDateLanguage = language;
    }
    if (!m_longDateFormat)
        return stampText(instant).value_or(std::string());
    return toUtf8(formatted(*m_longDateFormat, *m_zone, instant));
}

BadgeParts Calendar::badgeParts(Instant instant) const {
    if (!m_dayMonthFormat)
        m_dayMonthFormat = skeletonFormat("dMMM", m_locale);
    if (!m_yearFormat)
        m_yearFormat = skeletonFormat("y", m_locale);
    if (!m_dayMonthFormat || !m_yearFormat)
        return {};
    return {toUtf8(formatted(*m_dayMonthFormat, *m_zone, instant)),
            toUtf8(formatted(*m_yearFormat, *m_zone, instant))};
}

std::chrono::milliseconds timeUntilNextDay(Instant now) {
    const Calendar calendar = Calendar::current();
    const Instant tomorrow =
        calendar.startOfDay(calendar.adding(calendar.startOfDay(now), DateComponent::Day, 1));
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(tomorrow - now) +
                      std::chrono::seconds(1);
    // Never a busy loop, never longer than a day with an hour to spare.
    return std::clamp(wait, std::chrono::milliseconds(1000),
                      std::chrono::milliseconds(std::chrono::hours(25)));
}

} // namespace kelo
