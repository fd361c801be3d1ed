#pragma once

#include <filesystem>
#include <vector>

namespace kelo {

// The user's home folder: $HOME, else the password database's entry; empty when neither says.
std::filesystem::path homeFolder();

// The XDG base folders, read at every call: the variable when it holds an absolute path (a
// relative or empty one is ignored, as the XDG rules say), otherwise the default below the home
// folder; empty when there is no home folder either.
std::filesystem::path dataHome();   // $XDG_DATA_HOME or ~/.local/share
std::filesystem::path cacheHome();  // $XDG_CACHE_HOME or ~/.cache
std::filesystem::path configHome(); // $XDG_CONFIG_HOME or ~/.config

// The absolute folders listed in $XDG_DATA_DIRS, or /usr/local/share and /usr/share when it is
// unset or empty.
std::vector<std::filesystem::path> dataFolders();

} // namespace kelo
