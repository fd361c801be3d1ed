// Any tag list: adding and removing "Kelo" touch that entry only.
#include "ExpiryStamp.h"
#include "TagList.h"

#include <algorithm>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view value(reinterpret_cast<const char *>(data), size);
    const auto name = kelo::stampTagName;
    auto names = kelo::parseTagList(value);
    if (std::any_of(names.begin(), names.end(), [](const auto &n) { return n.empty(); }))
        std::abort();

    auto withName = names;
    withName.emplace_back(name);
    if (kelo::parseTagList(kelo::tagListAdding(value, name)) != withName)
        std::abort();

    const std::string removed = kelo::tagListRemoving(value, name);
    std::erase(names, std::string(name));
    if (kelo::parseTagList(removed) != names || kelo::tagListContains(removed, name))
        std::abort();
    // Nothing but the removed entries goes: the rest stands as it was, byte for byte.
    if (removed.size() > value.size() ||
        (!kelo::tagListContains(value, name) && !names.empty() && removed != value))
        std::abort();
    return 0;
}
