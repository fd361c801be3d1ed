#pragma once

#include "Clock.h"

#include <atomic>

// A moment of the test's choosing in place of Kelo's clock, for the life of the object.
class TestClock {
public:
    explicit TestClock(kelo::Instant at)
        : m_at(at), m_previous(kelo::Clock::replace([this] { return m_at.load(); })) {}
    ~TestClock() { kelo::Clock::replace(std::move(m_previous)); }
    TestClock(const TestClock &) = delete;
    TestClock &operator=(const TestClock &) = delete;

    void set(kelo::Instant at) { m_at = at; }

private:
    std::atomic<kelo::Instant> m_at;
    kelo::Clock::Source m_previous;
};
