#include "SearchScope.h"

#include "Checksum.h"
#include "Files.h"
#include "MountInfo.h"
#include "UserFolders.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <system_error>
#include <unordered_map>

#include <unistd.h>

namespace kelo {
namespace {

namespace fs = std::filesystem;

// Lexically normal, without a trailing '/' (except for "/" itself).
fs::path normalised(const fs::path &path) {
    std::string text = path.lexically_normal().native();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

void sortUnique(std::vector<fs::path> &paths) {
    std::sort(paths.begin(), paths.end());
    paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
}

// Sorted by path; a folder listed twice is one root, watched when either was.
void sortUnique(std::vector<SearchScope::Root> &roots) {
    std::stable_sort(roots.begin(), roots.end(),
                     [](const auto &a, const auto &b) { return a.path < b.path; });
    std::vector<SearchScope::Root> unique;
    for (auto &root : roots) {
        if (!unique.empty() && unique.back().path == root.path)
            unique.back().watched = unique.back().watched || root.watched;
        else
            unique.push_back(std::move(root));
    }
    roots = std::move(unique);
}

// The mounts that can be seen: where a mount point was mounted over, only the later (upper)
// entry counts.
std::vector<MountEntry> visibleMounts(std::vector<MountEntry> mounts) {
    std::unordered_map<std::string, size_t> upper;
    for (size_t i = 0; i < mounts.size(); ++i) {
        mounts[i].mountPoint = normalised(mounts[i].mountPoint);
        upper[mounts[i].mountPoint.native()] = i;
    }
    std::vector<MountEntry> visible;
    for (size_t i = 0; i < mounts.size(); ++i) {
        if (upper[mounts[i].mountPoint.native()] == i)
            visible.push_back(std::move(mounts[i]));
    }
    return visible;
}

// Whether the files of `mount` can all be reached through `other`, a mount of the same file
// system whose root contains this one's: a bind mount, or the same file system mounted twice
// (then the shorter mount point is kept). Btrfs subvolumes share a device but not a root, so
// each stays.
bool isReachableThrough(const MountEntry &mount, const MountEntry &other) {
    if (other.device != mount.device)
        return false;
    if (other.root == mount.root) {
        const std::string &mine = mount.mountPoint.native();
        const std::string &theirs = other.mountPoint.native();
        return theirs.size() < mine.size() || (theirs.size() == mine.size() && theirs < mine);
    }
    return isWithin(normalised(mount.root).native(), normalised(other.root).native());
}

SearchScope overrideScope(const ScopeEnvironment &environment, const fs::path &trash,
                          std::vector<std::string> prunedNames) {
    SearchScope scope;
    std::error_code error;
    const fs::path workingFolder = fs::current_path(error);
    for (std::string_view rest = environment.scopesOverride; !rest.empty();) {
        const std::string_view entry = rest.substr(0, rest.find(':'));
        rest.remove_prefix(std::min(entry.size() + 1, rest.size()));
        if (entry.empty())
            continue;
        fs::path folder(entry);
        if (folder.is_relative()) {
            if (workingFolder.empty())
                continue;
            folder = workingFolder / folder;
        }
        scope.roots.push_back({normalised(folder), true});
    }
    sortUnique(scope.roots);
    if (!trash.empty())
        scope.pruned.push_back(trash);
    scope.prunedNames = std::move(prunedNames);
    // Override folders may hold mounts of any kind; the crawl stays out of those that are not
    // local disks.
    for (const auto &mount : visibleMounts(parseMountInfo(environment.mountInfo))) {
        if (!isLocalDiskFileSystem(mount.fileSystemType) && mount.mountPoint != "/")
            scope.mountPoints.push_back(mount.mountPoint);
    }
    sortUnique(scope.mountPoints);
    return scope;
}

// The folder that decides for a path is the most specific one: /run is pruned, but /run/media,
// a user folder inside it, and the disks mounted there are not.
bool isPrunedPath(const fs::path &path, const std::vector<fs::path> &pruned,
                  const std::vector<fs::path> &userFolders) {
    size_t prunedMatch = 0;
    for (const auto &folder : pruned) {
        if (isWithin(path.native(), folder.native()))
            prunedMatch = std::max(prunedMatch, folder.native().size() + 1);
    }
    size_t userMatch = 0;
    for (const auto &folder : userFolders) {
        if (isWithin(path.native(), folder.native()))
            userMatch = std::max(userMatch, folder.native().size() + 1);
    }
    return prunedMatch > 0 && prunedMatch >= userMatch;
}

} // namespace

std::string SearchScope::signature() const {
    // Mount points are left out on purpose: containers and snaps mount and unmount all the time,
    // and that should not throw the cache away.
    std::string text = "roots " + std::to_string(roots.size());
    text.push_back('\0');
    for (const auto &root : roots) {
        text += root.path.native();
        text.push_back('\0');
        text += root.watched ? "watched" : "scanned";
        text.push_back('\0');
    }
    text += "pruned " + std::to_string(pruned.size());
    text.push_back('\0');
    for (const auto &folder : pruned) {
        text += folder.native();
        text.push_back('\0');
    }
    text += "names " + std::to_string(prunedNames.size());
    text.push_back('\0');
    for (const auto &name : prunedNames) {
        text += name;
        text.push_back('\0');
    }

    return hexDigits(fnv1a(text));
}

bool isLocalDiskFileSystem(std::string_view type) {
    static constexpr std::array<std::string_view, 21> local = {
        "ext2",     "ext3",   "ext4",     "xfs", "btrfs",   "f2fs",    "jfs",
        "reiserfs", "nilfs2", "bcachefs", "zfs", "vfat",    "msdos",   "exfat",
        "ntfs",     "ntfs3",  "fuseblk",  "hfs", "hfsplus", "overlay", "ubifs"};
    return std::find(local.begin(), local.end(), type) != local.end();
}

SearchScope makeSearchScope(const ScopeEnvironment &environment) {
    const fs::path trash = environment.dataHome.is_absolute()
                               ? normalised(environment.dataHome / "Trash")
                               : fs::path();
    std::vector<std::string> prunedNames = {".Trash", ".Trash-" + std::to_string(environment.uid)};
    std::sort(prunedNames.begin(), prunedNames.end());
    if (environment.scopesOverride)
        return overrideScope(environment, trash, std::move(prunedNames));

    SearchScope scope;
    scope.prunedNames = std::move(prunedNames);
    scope.pruned = {"/proc", "/sys",     "/dev",       "/run",       "/tmp",
                    "/usr",  "/var/lib", "/var/cache", "/var/log",   "/var/spool",
                    "/snap", "/boot",    "/etc",       "/lost+found"};
    if (!trash.empty())
        scope.pruned.push_back(trash);
    sortUnique(scope.pruned);

    // Watched when they lie on a local disk: new files there are what the user works on.
    std::vector<fs::path> userFolders;
    if (environment.home.is_absolute() && normalised(environment.home) != "/")
        userFolders.push_back(normalised(environment.home));
    for (const char *folder : {"/media", "/run/media", "/mnt"})
        userFolders.emplace_back(folder);

    const std::vector<MountEntry> mounts = visibleMounts(parseMountInfo(environment.mountInfo));
    // Mounts in pruned folders are never crawled, so they do not stand in for the file system
    // they show (a backup tool's mount of the whole disk under /run, say).
    std::vector<const MountEntry *> candidates;
    for (const auto &mount : mounts) {
        if (isLocalDiskFileSystem(mount.fileSystemType) &&
            !isPrunedPath(mount.mountPoint, scope.pruned, userFolders))
            candidates.push_back(&mount);
    }
    for (const MountEntry *mount : candidates) {
        const bool reachedElsewhere =
            std::any_of(candidates.begin(), candidates.end(), [&](const MountEntry *other) {
                return other != mount && isReachableThrough(*mount, *other);
            });
        if (!reachedElsewhere)
            scope.roots.push_back({mount->mountPoint, false});
    }
    const std::vector<SearchScope::Root> localRoots = scope.roots;
    for (const auto &folder : userFolders) {
        const bool onLocalDisk =
            std::any_of(localRoots.begin(), localRoots.end(), [&](const SearchScope::Root &root) {
                return isWithin(folder.native(), root.path.native());
            });
        if (onLocalDisk && !isPrunedPath(folder, scope.pruned, userFolders))
            scope.roots.push_back({folder, true});
    }
    sortUnique(scope.roots);

    for (const auto &mount : mounts) {
        if (mount.mountPoint != "/")
            scope.mountPoints.push_back(mount.mountPoint);
    }
    sortUnique(scope.mountPoints);
    return scope;
}

SearchScope currentSearchScope() {
    ScopeEnvironment environment;
    environment.mountInfo = readMountInfo();
    environment.home = homeFolder();
    environment.dataHome = dataHome();
    environment.uid = ::getuid();
    environment.scopesOverride = std::getenv("KELO_SEARCH_SCOPES");
    return makeSearchScope(environment);
}

} // namespace kelo
