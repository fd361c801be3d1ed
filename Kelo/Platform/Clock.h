#pragma once

#include <functional>

#include "Calendar.h"

namespace kelo {

// The moment Kelo takes as now wherever a date is judged: the shelf's sections, the days left on
// a row and in the window's subtitle, the date an extension gives, the weekly reminder and the
// redraws at midnight. One for the whole process, so that all of them agree; tests put a clock
// of their own in its place. Durations are measured with std::chrono::steady_clock instead.
class Clock {
public:
    using Source = std::function<Instant()>;

    // The source's moment; the system clock's without one. Thread-safe.
    static Instant now();
    // Replaces the source (empty for the system clock); returns the previous one.
    static Source replace(Source source);
};

} // namespace kelo
