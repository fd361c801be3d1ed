#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include <sys/types.h>

#include "Error.h"

namespace kelo {

// The freedesktop.org Trash: files are moved, never deleted, with a .trashinfo beside them that
// any file manager reads to restore them.

struct TrashEnvironment {
    std::filesystem::path dataHome; // $XDG_DATA_HOME, or ~/.local/share
    uid_t uid = 0;
    std::string mountInfo; // the text of /proc/self/mountinfo
};

// The environment of this process now.
TrashEnvironment currentTrashEnvironment();

// Moves a file or folder (with its contents) to the Trash of its volume: the home Trash
// ($XDG_DATA_HOME/Trash, created when missing) when it lives on the same file system, otherwise
// $topdir/.Trash/$uid (when $topdir/.Trash is a sticky folder, not a link) or $topdir/.Trash-$uid.
// A Trash, or its files/ or info/, that is a symbolic link is refused. Returns where the item now
// is, inside the Trash's files/ folder.
Expected<std::filesystem::path> moveToTrash(const std::filesystem::path &item,
                                            const TrashEnvironment &environment);

inline std::optional<Error> moveToTrash(const std::filesystem::path &item) {
    const auto moved = moveToTrash(item, currentTrashEnvironment());
    return moved ? std::nullopt : std::optional<Error>(moved.error());
}

} // namespace kelo
