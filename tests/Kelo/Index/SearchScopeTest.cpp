#include "SearchScope.h"

#include <gtest/gtest.h>

using namespace kelo;
using Path = std::filesystem::path;

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

// Paths as one line, a watched root marked with a '+'.
template <typename Items> std::string text(const Items &items) {
    std::string line;
    for (const auto &item : items) {
        if constexpr (std::is_same_v<std::decay_t<decltype(item)>, SearchScope::Root>)
            line += (line.empty() ? "" : " ") + std::string(item.watched ? "+" : "") +
                    item.path.native();
        else
            line += (line.empty() ? "" : " ") + Path(item).native();
    }
    return line;
}

} // namespace

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

TEST(OverrideScope, RootsAreExactlyTheListedFoldersAllWatched) {
    ScopeEnvironment environment = laptop();
    environment.scopesOverride = ":/data/b::/data/a/:/data/b:/data/./c/../c:/:";
    const SearchScope scope = makeSearchScope(environment);
    EXPECT_EQ(text(scope.roots), "+/ +/data/a +/data/b +/data/c");
    EXPECT_EQ(text(scope.pruned), "/home/alice/.local/share/Trash");
    // Only mounts that are not local disks are kept out of.
    EXPECT_EQ(text(scope.mountPoints), "/home/alice/remote /mnt/nas /proc /run /sys /tmp");
}

TEST(Signature, EqualForEqualScopesAndChangedByRootsWatchingAndPruning) {
    const SearchScope scope = makeSearchScope(laptop());
    EXPECT_EQ(makeSearchScope(laptop()).signature(), scope.signature());
    SearchScope unwatched = scope, pruned = scope, mounted = scope;
    unwatched.roots.front().watched = true;
    EXPECT_NE(unwatched.signature(), scope.signature());
    // A root that moves into the pruned list is another scope, though the bytes are the same.
    pruned.pruned.push_back(pruned.roots.back().path);
    pruned.roots.pop_back();
    EXPECT_NE(pruned.signature(), scope.signature());
    // Mounts come and go (containers, snaps) without changing what is crawled.
    mounted.mountPoints.push_back("/var/lib/docker/overlay2/abc/merged");
    EXPECT_EQ(mounted.signature(), scope.signature());
}
