#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kelo {

// One line of /proc/self/mountinfo, as far as Kelo needs it.
struct MountEntry {
    std::string device; // "major:minor"
    std::filesystem::path root;
    std::filesystem::path mountPoint;
    std::string fileSystemType;
};

// The entries of a mountinfo text in its order, malformed lines left out. The kernel writes the
// bytes that would split a field as octal escapes (\040 for a space); those are undone, and a
// backslash that starts no such escape (three octal digits up to \377) is kept as written.
std::vector<MountEntry> parseMountInfo(std::string_view text);

// The text of /proc/self/mountinfo; empty when it cannot be read.
std::string readMountInfo();

} // namespace kelo
