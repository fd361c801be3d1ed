#include "SearchScope.h"

#include "ScopedEnvironment.h"

#include <functional>

#include <unistd.h>

#include <gtest/gtest.h>

using namespace kelo;
using Path = std::filesystem::path;
using Paths = std::vector<Path>;

namespace {

// A laptop: root on ext4, /home a btrfs subvolume also bind-mounted to /srv/shared, a USB stick
// under /run/media, an NTFS disk through fuseblk at /media/disk, a NAS over NFS, an sshfs mount
// in the home folder and Docker's own ext4 disk under /var/lib.
constexpr std::string_view laptopMountInfo =
    "22 1 259:2 / / rw shared:1 - ext4 /dev/nvme0n1p2 rw\n"
    "23 22 0:21 / /proc rw - proc proc rw\n"
    "24 22 0:22 / /sys rw - sysfs sysfs rw\n"
    "27 22 0:25 / /run rw - tmpfs tmpfs rw\n"
    "28 22 0:30 / /tmp rw - tmpfs tmpfs rw\n"
    "29 22 0:31 /@home /home rw - btrfs /dev/sda1 rw,subvol=/@home\n"
    "30 22 0:31 /@home/alice/Shared /srv/shared rw - btrfs /dev/sda1 rw,subvol=/@home\n"
    "31 27 8:33 / /run/media/alice/USB rw - vfat /dev/sdc1 rw\n"
    "32 22 0:40 / /mnt/nas rw - nfs4 nas:/export rw\n"
    "33 29 0:41 / /home/alice/remote rw - fuse.sshfs alice@host:/ rw\n"
    "34 22 8:17 / /media/disk rw - fuseblk /dev/sdb1 rw\n"
    "35 22 8:49 / /var/lib/docker rw - ext4 /dev/sdd1 rw\n";

ScopeEnvironment laptop() {
    return {std::string(laptopMountInfo), "/home/alice", "/home/alice/.local/share", 1000};
}

const std::string systemPruned = "/boot /dev /etc /lost+found /proc /run /snap /sys /tmp /usr "
                                 "/var/cache /var/lib /var/log /var/spool";

// Paths as one line, a watched root marked with a '+'.
std::string text(const std::vector<SearchScope::Root> &roots) {
    std::string line;
    for (const auto &root : roots)
        line +=
            (line.empty() ? "" : " ") + std::string(root.watched ? "+" : "") + root.path.native();
    return line;
}
template <typename Texts> std::string text(const Texts &paths) {
    std::string line;
    for (const auto &path : paths)
        line += (line.empty() ? "" : " ") + Path(path).native();
    return line;
}

} // namespace

TEST(FileSystemTypes, OnlyLocalDisksCount) {
    for (const char *type :
         {"ext4", "btrfs", "xfs", "vfat", "exfat", "ntfs3", "fuseblk", "overlay"})
        EXPECT_TRUE(isLocalDiskFileSystem(type)) << type;
    for (const char *type : {"proc", "tmpfs", "nfs4", "cifs", "fuse.sshfs", "squashfs", "EXT4"})
        EXPECT_FALSE(isLocalDiskFileSystem(type)) << type;
}

TEST(DefaultScope, LaptopRootsArePrunedLocalDisksPlusWatchedUserFolders) {
    const SearchScope scope = makeSearchScope(laptop());
    EXPECT_EQ(text(scope.roots), "/ /home +/home/alice +/media /media/disk +/mnt +/run/media "
                                 "/run/media/alice/USB");
    EXPECT_EQ(text(scope.pruned),
              "/boot /dev /etc /home/alice/.local/share/Trash /lost+found /proc "
              "/run /snap /sys /tmp /usr /var/cache /var/lib /var/log /var/spool");
    EXPECT_EQ(text(scope.prunedNames), ".Trash .Trash-1000");
    EXPECT_EQ(text(scope.mountPoints),
              "/home /home/alice/remote /media/disk /mnt/nas /proc /run "
              "/run/media/alice/USB /srv/shared /sys /tmp /var/lib/docker");
}

TEST(DefaultScope, RootsFollowTheMountsAndTheHomeFolder) {
    const struct {
        const char *what;
        std::string mountInfo;
        std::string home;
        std::string roots;
    } cases[] = {
        {"btrfs subvolumes of one device are each a root; a backup's view in /run is not",
         "28 1 0:26 /@ / rw - btrfs /dev/nvme0n1p3 rw\n"
         "61 28 0:26 /@home /home rw - btrfs /dev/nvme0n1p3 rw\n"
         "62 28 0:26 /@/.snapshots /.snapshots rw - btrfs /dev/nvme0n1p3 rw\n"
         "63 28 0:26 / /run/timeshift/backup rw - btrfs /dev/nvme0n1p3 rw\n",
         "/home/alice", "/ /home +/home/alice +/media +/mnt +/run/media"},
        {"the same disk mounted twice is crawled once at the shorter mount point",
         "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n2 1 8:2 / /mnt/data rw - xfs /dev/sda2 rw\n"
         "3 1 8:2 / /data rw - xfs /dev/sda2 rw\n4 1 8:2 /photos /home/a/P rw - xfs /dev/sda2 rw\n"
         "5 1 8:3 /only/part /part rw - ext4 /dev/sda3 rw\n",
         "/home/a", "/ /data +/home/a +/media +/mnt /part +/run/media"},
        {"a folder mounted over counts as the upper mount only; a home of / is no root",
         "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n2 1 8:2 / /data rw - ext4 /dev/sda2 rw\n"
         "3 2 0:40 / /data rw - tmpfs tmpfs rw\n4 1 0:41 / /scratch rw - tmpfs tmpfs rw\n"
         "5 4 8:3 / /scratch rw - xfs /dev/sda3 rw\n",
         "/", "/ +/media +/mnt +/run/media /scratch"},
        {"a diskless machine has nothing to crawl or watch",
         "1 0 0:30 / / rw - nfs4 server:/root rw\n", "/home/alice", ""},
        {"a relative home is no watched root", "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n", "relative",
         "/ +/media +/mnt +/run/media"},
        // /tmp is pruned, but a home folder inside it is what the user asked for.
        {"a home under /tmp, a mount point, with a trailing slash; a disk of its own at /mnt",
         "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n2 1 8:2 / /tmp/guest rw - ext4 /dev/sda2 rw\n"
         "3 1 8:3 / /mnt rw - ext4 /dev/sda3 rw\n",
         "/tmp/guest/", "/ +/media +/mnt +/run/media +/tmp/guest"},
    };
    for (const auto &c : cases) {
        ScopeEnvironment environment = laptop();
        environment.mountInfo = c.mountInfo;
        environment.home = c.home;
        EXPECT_EQ(text(makeSearchScope(environment).roots), c.roots) << c.what;
    }
    // Without an absolute data home only the system folders are pruned.
    ScopeEnvironment environment = laptop();
    environment.dataHome = "relative";
    EXPECT_EQ(text(makeSearchScope(environment).pruned), systemPruned);
}

TEST(OverrideScope, RootsAreExactlyTheListedFoldersAllWatched) {
    ScopeEnvironment environment = laptop();
    environment.scopesOverride = ":/data/b::/data/a/:/data/b:/data/./c/../c:/:";
    SearchScope scope = makeSearchScope(environment);
    EXPECT_EQ(text(scope.roots), "+/ +/data/a +/data/b +/data/c");
    EXPECT_EQ(text(scope.pruned), "/home/alice/.local/share/Trash");
    EXPECT_EQ(text(scope.prunedNames), ".Trash .Trash-1000");
    // Only mounts that are not local disks are kept out of.
    EXPECT_EQ(text(scope.mountPoints), "/home/alice/remote /mnt/nas /proc /run /sys /tmp");
    environment.scopesOverride = "relative/x:";
    scope = makeSearchScope(environment);
    EXPECT_EQ(text(scope.roots), "+" + (std::filesystem::current_path() / "relative/x").native());
    environment.scopesOverride = ":::";
    EXPECT_TRUE(makeSearchScope(environment).roots.empty());
}

TEST(Signature, EqualForEqualScopesAndChangedByRootsWatchingAndPruning) {
    const SearchScope scope = makeSearchScope(laptop());
    const std::string signature = scope.signature();
    EXPECT_EQ(signature.size(), 16u);
    EXPECT_EQ(makeSearchScope(laptop()).signature(), signature);
    const std::function<void(SearchScope &)> changes[] = {
        [](SearchScope &s) {
            s.roots.push_back({"/srv", false});
        },
        [](SearchScope &s) { s.roots.front().watched = !s.roots.front().watched; },
        [](SearchScope &s) { s.roots.front().path = "/x"; },
        [](SearchScope &s) { s.pruned.pop_back(); },
        [](SearchScope &s) { s.prunedNames.back() = ".Trash-1001"; },
        // A root that moves into the pruned list is another scope, though the bytes are the same.
        [](SearchScope &s) {
            s.pruned.push_back(s.roots.back().path);
            s.roots.pop_back();
        }};
    for (size_t i = 0; i < std::size(changes); ++i) {
        SearchScope changed = scope;
        changes[i](changed);
        EXPECT_NE(changed.signature(), signature) << "change " << i;
    }
    // Mounts come and go (containers, snaps) without changing what is crawled.
    SearchScope changed = scope;
    changed.mountPoints.push_back("/var/lib/docker/overlay2/abc/merged");
    EXPECT_EQ(changed.signature(), signature);
}

TEST(CurrentScope, ReadsTheOverrideTheDataHomeAndTheMachinesMounts) {
    const ScopedEnvironment home("HOME", "/home/somebody");
    const ScopedEnvironment data("XDG_DATA_HOME", "/data/somebody");
    const ScopedEnvironment scopes("KELO_SEARCH_SCOPES", "/two:/one");
    SearchScope scope = currentSearchScope();
    EXPECT_EQ(text(scope.roots), "+/one +/two");
    EXPECT_EQ(text(scope.pruned), "/data/somebody/Trash");
    EXPECT_EQ(text(scope.prunedNames), ".Trash .Trash-" + std::to_string(::getuid()));

    const ScopedEnvironment noScopes("KELO_SEARCH_SCOPES", nullptr);
    scope = currentSearchScope();
    EXPECT_TRUE(std::binary_search(scope.pruned.begin(), scope.pruned.end(), Path("/proc")));
    // Whatever this machine mounts, /proc is a mount point and never a root.
    EXPECT_TRUE(
        std::binary_search(scope.mountPoints.begin(), scope.mountPoints.end(), Path("/proc")));
    for (const auto &root : scope.roots)
        EXPECT_FALSE(root.path == "/proc" || root.path == "/sys") << root.path;
}
