#pragma once

#include <filesystem>
#include <optional>
#include <vector>

#include "Calendar.h"

namespace kelo {

// Reads the stamps of many files at once, as a reload does: folder by folder, each name looked
// up relative to its open folder (a lookup of one component, not of a whole path), on worker
// threads. Paths sorted by path keep each folder's files together, which is how the tag index
// hands them out. The result has one entry per path, in order; none where `readStamp` would
// give none.
std::vector<std::optional<Instant>> readStamps(const std::vector<std::filesystem::path> &paths,
                                               const Calendar &calendar, int threads = 2);

} // namespace kelo
