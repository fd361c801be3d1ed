#pragma once

#include <QString>

#include <filesystem>

namespace kelo {

// A folder as the user reads it: "~" for the home folder, "~/Documenten/Werk" below it, the full
// path elsewhere. The home folder matches only on a path boundary: with home /home/anna,
// /home/anna2/x stays /home/anna2/x.
QString folderText(const std::filesystem::path &folder, const std::filesystem::path &home);
// The same with the user's home folder ($HOME).
QString folderText(const std::filesystem::path &folder);

// A path or name for display: UTF-8 as it is; bytes that are not UTF-8 as the local 8-bit text.
QString displayText(const std::filesystem::path &path);

} // namespace kelo
