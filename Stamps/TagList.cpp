#include "TagList.h"

namespace kelo {
namespace {

// Calls `visit(entry)` for every comma-separated entry, empty ones included.
template <typename Visit> void forEachEntry(std::string_view value, Visit visit) {
    size_t start = 0;
    while (true) {
        const size_t comma = value.find(',', start);
        visit(value.substr(start, comma == std::string_view::npos ? comma : comma - start));
        if (comma == std::string_view::npos)
            return;
        start = comma + 1;
    }
}

} // namespace

std::vector<std::string> parseTagList(std::string_view value) {
    std::vector<std::string> names;
    forEachEntry(value, [&](std::string_view entry) {
        if (!entry.empty())
            names.emplace_back(entry);
    });
    return names;
}

bool tagListContains(std::string_view value, std::string_view name) {
    bool found = false;
    forEachEntry(value, [&](std::string_view entry) { found = found || entry == name; });
    return found;
}

std::string tagListAdding(std::string_view value, std::string_view name) {
    std::string result(value);
    if (!result.empty() && result.back() != ',')
        result += ',';
    result += name;
    return result;
}

std::string tagListRemoving(std::string_view value, std::string_view name) {
    std::string result;
    bool first = true;
    bool anyName = false;
    forEachEntry(value, [&](std::string_view entry) {
        if (entry == name)
            return;
        if (!first)
            result += ',';
        result += entry;
        first = false;
        anyName = anyName || !entry.empty();
    });
    if (!anyName)
        result.clear();
    return result;
}

} // namespace kelo
