#pragma once

#include <memory>
#include <string_view>

#include <unicode/timezone.h>

namespace kelo {

// The zone a POSIX TZ rule such as "CET-1CEST,M3.5.0,M10.5.0/3" describes, or null when the text
// is no rule ICU can represent.
std::unique_ptr<icu::TimeZone> zoneFromPosixRule(std::string_view rule);

} // namespace kelo
