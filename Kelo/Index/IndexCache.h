#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kelo {

// The last found set of the tag index, kept between runs so that a start can gather at once.
// A cache for another scope, or one that is damaged or cut short, is no cache.

// $XDG_CACHE_HOME/kelo/tag-index (or ~/.cache/kelo/tag-index).
std::filesystem::path defaultIndexCacheFile();

// The cached paths for this scope signature, or none.
std::optional<std::vector<std::filesystem::path>> loadIndexCache(const std::filesystem::path &file,
                                                                 const std::string &scopeSignature);

// Writes the paths atomically (a temporary file in the same folder, renamed over the old one),
// creating the folder when needed. Returns false when it could not be written; nothing else is
// touched.
bool saveIndexCache(const std::filesystem::path &file, const std::string &scopeSignature,
                    const std::vector<std::filesystem::path> &paths);

} // namespace kelo
