#include "SearchScope.h"
#include "UserFolders.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>
#include <unordered_map>

#include <pwd.h>
#include <unistd.h>

namespace kelo {
namespace {

namespace fs = std::filesystem;

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (size_t end; (end = text.find(separator, start)) != std::string_view::npos; start = end + 1)
        parts.push_back(text.substr(start, end - start));
    parts.push_back(text.substr(start));
    return parts;
}

bool isDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool isOctalDigit(char c) {
    return c >= '0' && c <= '7';
}

// The kernel writes bytes that would split a field (space, tab, newline, backslash) as \ooo.
std::string unescaped(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && field.size() - i >= 4 && field[i + 1] >= '0' &&
            field[i + 1] <= '3' && isOctalDigit(field[i + 2]) && isOctalDigit(field[i + 3])) {
            const int value =
                (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
            out.push_back(static_cast<char>(static_cast<unsigned char>(value)));
            i += 3;
        } else {
            out.push_back(field[i]);
        }
    }
    return out;
}

// Lexically normal, without a trailing '/' (except for "/" itself).
fs::path normalised(const fs::path &path) {
    std::string text = path.lexically_normal().native();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

// Whether `path` is `folder` or lies inside it; both normalised.
bool isWithin(const fs::path &path, const fs::path &folder) {
    const std::string &inner = path.native();
    const std::string &outer = folder.native();
    if (outer == "/")
        return !inner.empty() && inner.front() == '/';
    return inner.size() >= outer.size() && inner.compare(0, outer.size(), outer) == 0 &&
           (inner.size() == outer.size() || inner[outer.size()] == '/');
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
    return isWithin(normalised(mount.root), normalised(other.root));
}

SearchScope overrideScope(const ScopeEnvironment &environment, const fs::path &trash,
                          std::vector<std::string> prunedNames) {
    SearchScope scope;
    std::error_code error;
    const fs::path workingFolder = fs::current_path(error);
    for (const std::string_view entry : split(environment.scopesOverride, ':')) {
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
        if (isWithin(path, folder))
            prunedMatch = std::max(prunedMatch, folder.native().size() + 1);
    }
    size_t userMatch = 0;
    for (const auto &folder : userFolders) {
        if (isWithin(path, folder))
            userMatch = std::max(userMatch, folder.native().size() + 1);
    }
    return prunedMatch > 0 && prunedMatch >= userMatch;
}

std::string readMountInfo() {
    std::ifstream in("/proc/self/mountinfo", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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

    std::uint64_t hash = 0xcbf29ce484222325u;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3u;
    }
    static constexpr char digits[] = "0123456789abcdef";
    std::string hex(16, '0');
    for (size_t i = 0; i < 16; ++i)
        hex[15 - i] = digits[(hash >> (4 * i)) & 0xf];
    return hex;
}

std::vector<MountEntry> parseMountInfo(std::string_view text) {
    std::vector<MountEntry> entries;
    for (const std::string_view line : split(text, '\n')) {
        // id parent major:minor root mount-point options [optional...] - type source super-options
        const std::vector<std::string_view> fields = split(line, ' ');
        if (fields.size() < 10 || !isDigits(fields[0]) || !isDigits(fields[1]))
            continue;
        const size_t colon = fields[2].find(':');
        if (colon == std::string_view::npos || !isDigits(fields[2].substr(0, colon)) ||
            !isDigits(fields[2].substr(colon + 1)))
            continue;
        const auto separator = std::find(fields.begin() + 6, fields.end(), "-");
        if (fields.end() - separator < 4)
            continue;
        MountEntry entry;
        entry.device = std::string(fields[2]);
        entry.root = unescaped(fields[3]);
        entry.mountPoint = unescaped(fields[4]);
        entry.fileSystemType = unescaped(separator[1]);
        if (!entry.root.native().starts_with('/') || !entry.mountPoint.native().starts_with('/') ||
            entry.fileSystemType.empty())
            continue;
        entries.push_back(std::move(entry));
    }
    return entries;
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
            std::any_of(localRoots.begin(), localRoots.end(),
                        [&](const SearchScope::Root &root) { return isWithin(folder, root.path); });
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
    // The XDG base directory rules: a relative or empty value is to be ignored.
    if (const char *dataHome = std::getenv("XDG_DATA_HOME"); dataHome && *dataHome == '/')
        environment.dataHome = dataHome;
    else if (environment.home.is_absolute())
        environment.dataHome = environment.home / ".local/share";
    environment.uid = ::getuid();
    environment.scopesOverride = std::getenv("KELO_SEARCH_SCOPES");
    return makeSearchScope(environment);
}

} // namespace kelo
