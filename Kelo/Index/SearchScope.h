#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kelo {

// Where the tag index looks: a set of root folders, each crawled on its own, some of them kept
// current by watching, and the folders never entered. Paths are absolute byte paths.
struct SearchScope {
    struct Root {
        std::filesystem::path path;
        // Kept current through inotify; unwatched roots are rescanned from time to time.
        bool watched = false;
        bool operator==(const Root &) const = default;
    };

    std::vector<Root> roots;
    // Folders never entered: system trees and Trash folders.
    std::vector<std::filesystem::path> pruned;
    // Folder names never entered wherever they are (the Trash folders of volumes).
    std::vector<std::string> prunedNames;
    // Mount points a crawl does not cross into (other file systems, crawled as their own root
    // when they are in scope).
    std::vector<std::filesystem::path> mountPoints;

    // A short text that changes whenever the scope does; the index cache is keyed on it.
    std::string signature() const;

    bool operator==(const SearchScope &) const = default;
};

// Whether a file system type keeps user files on a local disk (ext4, btrfs, xfs, vfat,
// fuseblk, ...), as opposed to pseudo, memory and network file systems.
bool isLocalDiskFileSystem(std::string_view type);

struct ScopeEnvironment {
    std::string mountInfo;          // the text of /proc/self/mountinfo
    std::filesystem::path home;     // $HOME
    std::filesystem::path dataHome; // $XDG_DATA_HOME or ~/.local/share
    unsigned uid = 0;
    const char *scopesOverride = nullptr; // $KELO_SEARCH_SCOPES, or null when unset
};

// The scope for these facts: with an override, exactly the folders it lists (separated by ':',
// empty entries skipped), all watched. Otherwise every local disk mount, pruned as updatedb
// does; the home folder and the user volume folders (/media, /run/media, /mnt) watched.
SearchScope makeSearchScope(const ScopeEnvironment &environment);

// The scope of this process now.
SearchScope currentSearchScope();

} // namespace kelo
