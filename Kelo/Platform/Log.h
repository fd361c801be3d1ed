#pragma once

#include <functional>
#include <string_view>

namespace kelo {

// Kelo's log: one plain-text line per event. By default to the system log (ident "kelo", the
// journal under systemd) and to standard error; tests put a sink of their own in its place.
using LogSink = std::function<void(std::string_view line)>;

void log(std::string_view line);
// Replaces the sink; returns the previous one.
LogSink setLogSink(LogSink sink);

} // namespace kelo
