#pragma once

#include <string_view>

namespace kelo {

// Sends one line to the system log (the journal, or syslog) with the identifier "kelo", through
// a socket of its own, so that a host process's own syslog settings stay untouched.
void writeSystemLog(std::string_view line);

} // namespace kelo
