// Any attribute value: it is a stamp only if it is exactly the text the writer would produce.
#include "ExpiryStamp.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const kelo::Calendar zones[] = {kelo::Calendar::forZone("UTC"),
                                           kelo::Calendar::forZone("America/Santiago"),
                                           kelo::Calendar::forZone("Pacific/Kiritimati")};
    const std::string_view value(reinterpret_cast<const char *>(data), size);
    for (const auto &calendar : zones) {
        const auto date = kelo::parseStampValue(value, calendar);
        if (!date)
            continue;
        if (calendar.stampText(*date) != value || calendar.startOfDay(*date) != *date)
            std::abort();
    }
    return 0;
}
