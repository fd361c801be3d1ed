#pragma once

#include "Log.h"

#include <string>
#include <string_view>
#include <vector>

// Collects what goes to Kelo's log while it lives, and puts the previous sink back afterwards.
class LogCapture {
public:
    LogCapture()
        : m_previous(
              kelo::setLogSink([this](std::string_view line) { m_lines.emplace_back(line); })) {}
    ~LogCapture() { kelo::setLogSink(std::move(m_previous)); }

    const std::vector<std::string> &lines() const { return m_lines; }

private:
    std::vector<std::string> m_lines;
    kelo::LogSink m_previous;
};
