// Any TZ value: some zone comes out, and it answers for any date.
#include "Calendar.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string tz(reinterpret_cast<const char *>(data), size);
    const auto zone = kelo::timeZoneNamed(tz);
    if (!zone)
        std::abort();
    const kelo::Calendar calendar = kelo::Calendar::forZone(tz);
    const kelo::Instant now = kelo::Instant(std::chrono::milliseconds(1796000000000));
    const kelo::Instant start = calendar.startOfDay(now);
    if (start > now || now - start > std::chrono::hours(26))
        std::abort();
    return 0;
}
