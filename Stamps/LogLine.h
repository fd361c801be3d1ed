#pragma once

#include <string>
#include <string_view>

namespace kelo {

// The line with control characters written as escapes (\n, \t, \x1b), so that a file name can
// never start a line of its own in a log.
std::string escapedLogLine(std::string_view line);

} // namespace kelo
