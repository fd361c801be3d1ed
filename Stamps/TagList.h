#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kelo {

// A file's tags as KDE stores them in `user.xdg.tags`: names joined by ',' with no escaping.
// Editing works on the stored bytes, so every other entry stays exactly as it was, in order.

inline constexpr const char *tagListAttributeName = "user.xdg.tags";

// The names in a stored value, in order; empty names between commas are skipped.
std::vector<std::string> parseTagList(std::string_view value);
bool tagListContains(std::string_view value, std::string_view name);
// The value with `name` as its last entry.
std::string tagListAdding(std::string_view value, std::string_view name);
// The value without any entry equal to `name`; empty when no name is left.
std::string tagListRemoving(std::string_view value, std::string_view name);

} // namespace kelo
