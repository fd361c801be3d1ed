#include "Clock.h"

#include <mutex>
#include <utility>

namespace kelo {

namespace {

std::mutex sourceMutex;
// Empty: the system clock.
Clock::Source currentSource;

} // namespace

Instant Clock::now() {
    Source source;
    {
        const std::lock_guard lock(sourceMutex);
        source = currentSource;
    }
    return source ? source() : currentInstant();
}

Clock::Source Clock::replace(Source source) {
    const std::lock_guard lock(sourceMutex);
    std::swap(currentSource, source);
    return source;
}

} // namespace kelo
