#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "StampKeeper.h"

namespace kelo {

// The last found set of the tag index, kept between runs so that a start can gather at once.
// A cache for another scope, or one that is damaged or cut short, is no cache.

// $XDG_CACHE_HOME/kelo/tag-index (or ~/.cache/kelo/tag-index).
std::filesystem::path defaultIndexCacheFile();

// The most paths a cache holds. Each is a file someone stamped, and real paths are long enough
// that the 64 MiB file is full well before this (at about a million paths of 60 bytes): only a
// flood of tiny entries reaches it, which would cost gigabytes and minutes to check at start.
constexpr std::size_t maximumIndexCacheEntries = 2'000'000;

// Hands each cached path for this scope signature to `visit`, in the cache's order, once the
// whole file has been checked without holding its paths. Returns true when the cache was used;
// false for none, and as soon as `stopping` is set.
bool visitIndexCache(const std::filesystem::path &file, const std::string &scopeSignature,
                     const std::function<void(std::string_view path)> &visit,
                     const std::atomic<bool> &stopping);

// The cached paths for this scope signature, or none.
std::optional<std::vector<std::string>> loadIndexCache(const std::filesystem::path &file,
                                                       const std::string &scopeSignature);

// Writes the paths atomically (a temporary file in the same folder, renamed over the old one),
// creating the folder when needed. Returns false when it could not be written, or could not be
// loaded back (more than the maximum of paths, or 64 MiB); nothing else is touched.
bool saveIndexCache(const std::filesystem::path &file, const std::string &scopeSignature,
                    const std::vector<std::string> &paths);

// What the index knew of each stamped file when it last wrote its records, beside the cache, so
// that a file saved while Kelo was not running can get its date back at the next start.
struct StampRecords {
    std::chrono::system_clock::time_point written;
    std::unordered_map<std::string, StampRecord> records;
};

// The records file that goes with a cache file.
std::filesystem::path stampRecordsFile(const std::filesystem::path &cacheFile);
// The records, or none when the file is missing, damaged or cut short.
std::optional<StampRecords> loadStampRecords(const std::filesystem::path &file);
// Writes the records atomically, stamped with the time of writing; false when they could not
// be written.
bool saveStampRecords(const std::filesystem::path &file,
                      const std::unordered_map<std::string, StampRecord> &records);

} // namespace kelo
