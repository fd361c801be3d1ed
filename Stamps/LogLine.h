#pragma once

#include <string>
#include <string_view>

namespace kelo {

// The line with every byte that is not part of a printable UTF-8 character written as an escape
// (\n, \t, \x1b, \xff), so that a file name can never start a line of its own in a log, nor
// reach a terminal as anything but text.
std::string escapedLogLine(std::string_view line);

} // namespace kelo
