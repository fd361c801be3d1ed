#include "PosixTimeZone.h"

#include <optional>

#include <unicode/simpletz.h>
#include <unicode/unistr.h>

namespace kelo {
namespace {

constexpr int msPerSecond = 1000;
constexpr int msPerHour = 3600 * msPerSecond;

class RuleReader {
public:
    explicit RuleReader(std::string_view text) : m_text(text) {}

    bool atEnd() const { return m_at == m_text.size(); }
    bool take(char c) {
        if (atEnd() || m_text[m_at] != c)
            return false;
        ++m_at;
        return true;
    }

    // A zone abbreviation: three or more letters, or anything but '>' inside angle brackets.
    bool name() {
        if (take('<')) {
            const size_t end = m_text.find('>', m_at);
            if (end == std::string_view::npos || end - m_at < 3)
                return false;
            m_at = end + 1;
            return true;
        }
        const size_t start = m_at;
        while (!atEnd() && isAlpha(m_text[m_at]))
            ++m_at;
        return m_at - start >= 3;
    }

    std::optional<int> number(int max) {
        const size_t start = m_at;
        int value = 0;
        while (!atEnd() && m_text[m_at] >= '0' && m_text[m_at] <= '9') {
            value = value * 10 + (m_text[m_at] - '0');
            if (value > max)
                return std::nullopt;
            ++m_at;
        }
        if (m_at == start)
            return std::nullopt;
        return value;
    }

    // [+-]hh[:mm[:ss]] in milliseconds.
    std::optional<int> duration(int maxHours) {
        int sign = 1;
        if (take('-'))
            sign = -1;
        else
            take('+');
        const auto hours = number(maxHours);
        if (!hours)
            return std::nullopt;
        int ms = *hours * msPerHour;
        for (int unit : {60 * msPerSecond, msPerSecond}) {
            if (!take(':'))
                break;
            const auto part = number(59);
            if (!part)
                return std::nullopt;
            ms += *part * unit;
        }
        return sign * ms;
    }

    bool peekSign() const {
        return !atEnd() && (m_text[m_at] == '+' || m_text[m_at] == '-' ||
                            (m_text[m_at] >= '0' && m_text[m_at] <= '9'));
    }

private:
    static bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

    std::string_view m_text;
    size_t m_at = 0;
};

// One transition of the rule, in the terms of icu::SimpleTimeZone.
struct Transition {
    int8_t month = 0;       // 0-based
    int8_t weekInMonth = 0; // 1...4, -1 for the last; or the day of the month when weekday is 0
    int8_t weekday = 0;     // 1 (Sunday) ... 7
    int time = 2 * msPerHour;
};

std::optional<Transition> transition(RuleReader &reader) {
    Transition t;
    if (reader.take('M')) {
        const auto month = reader.number(12);
        if (!month || *month < 1 || !reader.take('.'))
            return std::nullopt;
        const auto week = reader.number(5);
        if (!week || *week < 1 || !reader.take('.'))
            return std::nullopt;
        const auto day = reader.number(6);
        if (!day)
            return std::nullopt;
        t.month = static_cast<int8_t>(*month - 1);
        t.weekInMonth = static_cast<int8_t>(*week == 5 ? -1 : *week);
        t.weekday = static_cast<int8_t>(*day + 1);
    } else {
        // Jn counts 1...365 and never Feb 29; n counts 0...365 and is read the same way here.
        const bool julian = reader.take('J');
        const auto number = reader.number(365);
        if (!number)
            return std::nullopt;
        int dayOfYear = julian ? *number : *number + 1;
        if (dayOfYear < 1 || dayOfYear > 365)
            return std::nullopt;
        static constexpr int monthLengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        int month = 0;
        while (dayOfYear > monthLengths[month])
            dayOfYear -= monthLengths[month++];
        t.month = static_cast<int8_t>(month);
        t.weekInMonth = static_cast<int8_t>(dayOfYear);
        t.weekday = 0;
    }
    if (reader.take('/')) {
        const auto time = reader.duration(167);
        if (!time)
            return std::nullopt;
        t.time = *time;
    }
    return t;
}

} // namespace

std::unique_ptr<icu::TimeZone> zoneFromPosixRule(std::string_view rule) {
    RuleReader reader(rule);
    if (!reader.name())
        return nullptr;
    const auto standardOffset = reader.duration(24);
    if (!standardOffset)
        return nullptr;
    const auto id = icu::UnicodeString::fromUTF8(
        icu::StringPiece(rule.data(), static_cast<int32_t>(rule.size())));
    // POSIX counts offsets westwards; ICU eastwards.
    const int rawOffset = -*standardOffset;
    if (reader.atEnd())
        return std::make_unique<icu::SimpleTimeZone>(rawOffset, id);

    if (!reader.name())
        return nullptr;
    int daylightOffset = *standardOffset - msPerHour;
    if (reader.peekSign()) {
        const auto offset = reader.duration(24);
        if (!offset)
            return nullptr;
        daylightOffset = *offset;
    }
    std::optional<Transition> start, end;
    if (reader.atEnd()) {
        // glibc's default rule for a zone named without one.
        start = Transition{2, 2, 1, 2 * msPerHour};
        end = Transition{10, 1, 1, 2 * msPerHour};
    } else {
        if (!reader.take(','))
            return nullptr;
        start = transition(reader);
        if (!start || !reader.take(','))
            return nullptr;
        end = transition(reader);
        if (!end || !reader.atEnd())
            return nullptr;
    }
    const int savings = *standardOffset - daylightOffset;
    if (savings <= 0)
        return nullptr;

    UErrorCode status = U_ZERO_ERROR;
    auto zone = std::make_unique<icu::SimpleTimeZone>(
        rawOffset, id, start->month, start->weekInMonth, start->weekday, start->time,
        icu::SimpleTimeZone::WALL_TIME, end->month, end->weekInMonth, end->weekday, end->time,
        icu::SimpleTimeZone::WALL_TIME, savings, status);
    if (U_FAILURE(status))
        return nullptr;
    return zone;
}

} // namespace kelo
