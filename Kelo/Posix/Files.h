#pragma once

#include <filesystem>
#include <string_view>

#include <sys/types.h>

namespace kelo {

// Whether `path` is `folder` or lies below it, both absolute and without a trailing '/' (but for
// "/" itself); compared as bytes, so "/a/bc" is not within "/a/b".
bool isWithin(std::string_view path, std::string_view folder);

// Writes all of `bytes`, going on where a write is interrupted or takes only part of them; false
// when a write fails.
bool writeAll(int fd, std::string_view bytes);

// Like mkdir -p: the folder and its missing parents, each new one with exactly `mode` whatever
// the umask. Returns 0 when the folder is there, otherwise an errno value (ENOTDIR where
// something else is in the way).
int makeFolders(const std::filesystem::path &folder, mode_t mode);

} // namespace kelo
