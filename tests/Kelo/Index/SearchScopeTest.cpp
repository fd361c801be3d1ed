#include "SearchScope.h"

#include "ScopedEnvironment.h"
#include "TemporaryFolder.h"

#include <functional>

#include <unistd.h>

#include <gtest/gtest.h>

using namespace kelo;
using Path = std::filesystem::path;
using Paths = std::vector<Path>;
using Root = SearchScope::Root;
using Roots = std::vector<Root>;
using Names = std::vector<std::string>;

namespace kelo {

// For readable failures.
void PrintTo(const SearchScope::Root &root, std::ostream *out) {
    *out << root.path << (root.watched ? " watched" : " scanned");
}

} // namespace kelo

namespace {

// A laptop: root on ext4, /home a btrfs subvolume also bind-mounted to /srv/shared, a USB stick
// under /run/media, an NTFS disk through fuseblk at /media/disk, a NAS over NFS, an sshfs mount
// in the home folder and Docker's own ext4 disk under /var/lib.
constexpr std::string_view laptopMountInfo =
    "22 1 259:2 / / rw,relatime shared:1 - ext4 /dev/nvme0n1p2 rw,errors=remount-ro\n"
    "23 22 0:21 / /proc rw,nosuid,nodev,noexec,relatime shared:12 - proc proc rw\n"
    "24 22 0:22 / /sys rw,nosuid,nodev,noexec,relatime shared:2 - sysfs sysfs rw\n"
    "25 24 0:23 / /sys/fs/cgroup rw,nosuid,nodev,noexec,relatime shared:4 - cgroup2 cgroup2 "
    "rw,nsdelegate\n"
    "26 22 0:5 / /dev rw,nosuid,relatime shared:8 - devtmpfs udev rw,size=8000000k,mode=755\n"
    "27 22 0:25 / /run rw,nosuid,nodev,noexec,relatime shared:5 - tmpfs tmpfs rw,mode=755\n"
    "28 22 0:30 / /tmp rw,nosuid,nodev shared:14 - tmpfs tmpfs rw,size=4000000k\n"
    "29 22 0:31 /@home /home rw,relatime shared:30 - btrfs /dev/sda1 "
    "rw,space_cache=v2,subvolid=257,subvol=/@home\n"
    "30 22 0:31 /@home/alice/Shared /srv/shared rw,relatime shared:30 - btrfs /dev/sda1 "
    "rw,space_cache=v2,subvolid=257,subvol=/@home\n"
    "31 27 8:33 / /run/media/alice/USB rw,nosuid,nodev,relatime shared:100 - vfat /dev/sdc1 "
    "rw,uid=1000,gid=1000,fmask=0022,dmask=0022\n"
    "32 22 0:40 / /mnt/nas rw,relatime shared:101 - nfs4 nas:/export rw,vers=4.2\n"
    "33 29 0:41 / /home/alice/remote rw,nosuid,nodev,relatime shared:102 - fuse.sshfs "
    "alice@host:/ rw,user_id=1000,group_id=1000\n"
    "34 22 8:17 / /media/disk rw,nosuid,nodev,relatime shared:103 - fuseblk /dev/sdb1 "
    "rw,user_id=0,group_id=0,allow_other\n"
    "35 22 8:49 / /var/lib/docker rw,relatime shared:104 - ext4 /dev/sdd1 rw\n";

ScopeEnvironment laptop() {
    ScopeEnvironment environment;
    environment.mountInfo = laptopMountInfo;
    environment.home = "/home/alice";
    environment.dataHome = "/home/alice/.local/share";
    environment.uid = 1000;
    return environment;
}

const Paths systemPruned = {"/boot",      "/dev",     "/etc",     "/lost+found", "/proc",
                            "/run",       "/snap",    "/sys",     "/tmp",        "/usr",
                            "/var/cache", "/var/lib", "/var/log", "/var/spool"};

Paths withTrash(Paths pruned, const Path &trash) {
    pruned.push_back(trash);
    std::sort(pruned.begin(), pruned.end());
    return pruned;
}

Paths rootPaths(const SearchScope &scope) {
    Paths paths;
    for (const auto &root : scope.roots)
        paths.push_back(root.path);
    return paths;
}

} // namespace

TEST(MountInfo, ParsesGoodLinesSkipsMalformedOnesAndUndoesOctalEscapes) {
    const auto entries = parseMountInfo(
        "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw,errors=continue\n"
        "\n"
        "garbage\n"
        "40 22 8:18 /back\\134slash/tab\\011 /media/My\\040Disk\\012two rw shared:7 - vfat "
        "/dev/sdb2 rw\n"
        "1 0 8:1 / / rw shared:1 ext4 /dev/sda1 rw\n"
        "x 0 8:1 / /x rw - ext4 /dev/sda1 rw\n"
        "1 y 8:1 / /y rw - ext4 /dev/sda1 rw\n"
        "1 0 81 / /z rw - ext4 /dev/sda1 rw\n"
        "1 0 8:a / /z rw - ext4 /dev/sda1 rw\n"
        "1 0 8:1 / relative rw - ext4 /dev/sda1 rw\n"
        "1 0 8:1 relative /r rw - ext4 /dev/sda1 rw\n"
        "1 0 8:1 / /s rw - ext4 /dev/sda1\n"
        "1 0 8:1 / /t rw -  /dev/sda1 rw\n"
        "1 0 8:1 / /u - ext4 /dev/sda1 rw\n"
        "1 0 8:1 / /v rw - ext4\n"
        // Any number of optional fields; a backslash that is no escape stays.
        "2 1 8:2 / /a rw shared:2 master:3 propagate_from:4 unbindable - xfs /dev/sda2 rw\n"
        "1 0 8:1 / /a\\b\\9\\400\\04 rw - ext4 /dev/sda1 rw\n"
        // The source is empty (two spaces), and no newline ends the last line.
        "3 1 0:50 / /b rw,nosuid shared:9 - tmpfs  rw,size=10k");
    const std::tuple<std::string, std::string, std::string, std::string> expected[] = {
        {"98:0", "/mnt1", "/mnt2", "ext3"},
        {"8:18", "/back\\slash/tab\t", "/media/My Disk\ntwo", "vfat"},
        {"8:2", "/", "/a", "xfs"},
        {"8:1", "/", "/a\\b\\9\\400\\04", "ext4"},
        {"0:50", "/", "/b", "tmpfs"}};
    ASSERT_EQ(entries.size(), std::size(expected));
    for (size_t i = 0; i < entries.size(); ++i)
        EXPECT_EQ(std::tuple(entries[i].device, entries[i].root.native(),
                             entries[i].mountPoint.native(), entries[i].fileSystemType),
                  expected[i]);
}

TEST(FileSystemTypes, OnlyLocalDisksCount) {
    for (const char *type :
         {"ext2",     "ext3",   "ext4",     "xfs", "btrfs",   "f2fs",    "jfs",
          "reiserfs", "nilfs2", "bcachefs", "zfs", "vfat",    "msdos",   "exfat",
          "ntfs",     "ntfs3",  "fuseblk",  "hfs", "hfsplus", "overlay", "ubifs"})
        EXPECT_TRUE(isLocalDiskFileSystem(type)) << type;
    for (const char *type : {"proc", "tmpfs", "nfs4", "cifs", "fuse", "fuse.sshfs", "iso9660",
                             "squashfs", "autofs", "", "EXT4", "ext4 "})
        EXPECT_FALSE(isLocalDiskFileSystem(type)) << type;
}

TEST(DefaultScope, LaptopRootsArePrunedLocalDisksPlusWatchedUserFolders) {
    const SearchScope scope = makeSearchScope(laptop());
    const Roots expected = {{"/", false},           {"/home", false},
                            {"/home/alice", true},  {"/media", true},
                            {"/media/disk", false}, {"/mnt", true},
                            {"/run/media", true},   {"/run/media/alice/USB", false}};
    EXPECT_EQ(scope.roots, expected);
    EXPECT_EQ(scope.pruned, withTrash(systemPruned, "/home/alice/.local/share/Trash"));
    EXPECT_EQ(scope.prunedNames, (Names{".Trash", ".Trash-1000"}));
    const Paths mountPoints = {
        "/dev",           "/home", "/home/alice/remote",   "/media/disk", "/mnt/nas",
        "/proc",          "/run",  "/run/media/alice/USB", "/srv/shared", "/sys",
        "/sys/fs/cgroup", "/tmp",  "/var/lib/docker"};
    EXPECT_EQ(scope.mountPoints, mountPoints);
}

TEST(DefaultScope, RootsFollowTheMountsAndTheHomeFolder) {
    const struct {
        const char *what;
        std::string mountInfo;
        std::string home;
        Paths roots;
        Paths mountPoints; // not checked when empty
    } cases[] = {
        {"btrfs subvolumes of one device are each a root",
         "28 1 0:26 /@ / rw,relatime shared:1 - btrfs /dev/nvme0n1p3 rw,subvol=/@\n"
         "61 28 0:26 /@home /home rw,relatime shared:31 - btrfs /dev/nvme0n1p3 rw,subvol=/@home\n"
         "62 28 0:26 /@/.snapshots /.snapshots rw shared:32 - btrfs /dev/nvme0n1p3 rw\n"
         // A backup tool's view of the whole disk, inside pruned /run.
         "63 28 0:26 / /run/timeshift/backup rw shared:33 - btrfs /dev/nvme0n1p3 rw\n",
         "/home/alice",
         {"/", "/home", "/home/alice", "/media", "/mnt", "/run/media"},
         {}},
        {"the same disk mounted twice is crawled once at the shorter mount point",
         "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
         "2 1 8:2 / /mnt/data rw - xfs /dev/sda2 rw\n"
         "3 1 8:2 / /data rw - xfs /dev/sda2 rw\n"
         "4 1 8:2 /photos /home/alice/Photos rw - xfs /dev/sda2 rw\n"
         "5 1 8:3 /only/part /part rw - ext4 /dev/sda3 rw\n",
         "/home/alice",
         {"/", "/data", "/home/alice", "/media", "/mnt", "/part", "/run/media"},
         {}},
        {"a folder mounted over counts as the upper mount only",
         "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
         "2 1 8:2 / /data rw - ext4 /dev/sda2 rw\n"
         "3 2 0:40 / /data rw - tmpfs tmpfs rw\n"
         "4 1 0:41 / /scratch rw - tmpfs tmpfs rw\n"
         "5 4 8:3 / /scratch rw - xfs /dev/sda3 rw\n",
         "/home/alice",
         {"/", "/home/alice", "/media", "/mnt", "/run/media", "/scratch"},
         {"/data", "/scratch"}},
        {"a diskless machine has nothing to crawl or watch",
         "1 0 0:30 / / rw - nfs4 server:/root rw\n2 1 0:31 / /home rw - nfs4 server:/home rw\n",
         "/home/alice",
         {},
         {"/home"}},
        {"a home of / is no watched root",
         "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n",
         "/",
         {"/", "/media", "/mnt", "/run/media"},
         {}},
        {"a relative home is no watched root",
         "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n",
         "alice",
         {"/", "/media", "/mnt", "/run/media"},
         {}},
        // /tmp is pruned, but a home folder inside it is what the user asked for.
        {"a home under /tmp is a root",
         "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n",
         "/tmp/guest",
         {"/", "/media", "/mnt", "/run/media", "/tmp/guest"},
         {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ScopeEnvironment environment = laptop();
        environment.mountInfo = c.mountInfo;
        environment.home = c.home;
        const SearchScope scope = makeSearchScope(environment);
        EXPECT_EQ(rootPaths(scope), c.roots);
        EXPECT_TRUE(c.mountPoints.empty() || scope.mountPoints == c.mountPoints);
    }
}

TEST(DefaultScope, UserFoldersAreWatchedOnlyOnALocalDiskAndListedOnce) {
    ScopeEnvironment environment = laptop();
    // Home written with a trailing slash and itself a mount point; /mnt a disk of its own.
    environment.home = "/home/alice/";
    environment.mountInfo = "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
                            "2 1 8:2 / /home/alice rw - ext4 /dev/sda2 rw\n"
                            "3 1 8:3 / /mnt rw - ext4 /dev/sda3 rw\n";
    EXPECT_EQ(makeSearchScope(environment).roots, (Roots{{"/", false},
                                                         {"/home/alice", true},
                                                         {"/media", true},
                                                         {"/mnt", true},
                                                         {"/run/media", true}}));
    // Without an absolute data home only the system folders are pruned.
    environment.dataHome.clear();
    EXPECT_EQ(makeSearchScope(environment).pruned, systemPruned);
}

TEST(OverrideScope, RootsAreExactlyTheListedFoldersAllWatched) {
    ScopeEnvironment environment = laptop();
    environment.scopesOverride = ":/data/b::/data/a/:/data/b:relative/x:/data/./c/../c:/:";
    const SearchScope scope = makeSearchScope(environment);
    const Path workingFolder = std::filesystem::current_path();
    Roots expected = {{"/", true},
                      {"/data/a", true},
                      {"/data/b", true},
                      {"/data/c", true},
                      {(workingFolder / "relative/x").lexically_normal(), true}};
    std::sort(expected.begin(), expected.end(),
              [](const Root &a, const Root &b) { return a.path < b.path; });
    EXPECT_EQ(scope.roots, expected);
    EXPECT_EQ(scope.pruned, (Paths{"/home/alice/.local/share/Trash"}));
    EXPECT_EQ(scope.prunedNames, (Names{".Trash", ".Trash-1000"}));
    // Only mounts that are not local disks are kept out of.
    EXPECT_EQ(scope.mountPoints, (Paths{"/dev", "/home/alice/remote", "/mnt/nas", "/proc", "/run",
                                        "/sys", "/sys/fs/cgroup", "/tmp"}));
    for (const char *list : {"", ":", ":::"}) {
        environment.scopesOverride = list;
        EXPECT_TRUE(makeSearchScope(environment).roots.empty()) << list;
        EXPECT_EQ(makeSearchScope(environment).pruned, (Paths{"/home/alice/.local/share/Trash"}));
    }
}

TEST(Signature, EqualForEqualScopesAndChangedByRootsWatchingAndPruning) {
    const SearchScope scope = makeSearchScope(laptop());
    const std::string signature = scope.signature();
    EXPECT_EQ(signature.size(), 16u);
    EXPECT_EQ(signature.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_EQ(makeSearchScope(laptop()).signature(), signature);

    const std::function<void(SearchScope &)> changes[] = {
        [](SearchScope &s) {
            s.roots.push_back({"/srv", false});
        },
        [](SearchScope &s) { s.roots.pop_back(); },
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

TEST(CurrentScope, ReadsTheOverrideHomeAndIgnoresARelativeDataHome) {
    const TemporaryFolder folder;
    const std::string home = (folder.path() / "home").string();
    const std::string list =
        (folder.path() / "one").string() + ":" + (folder.path() / "two").string();
    const ScopedEnvironment homeVariable("HOME", home.c_str());
    const ScopedEnvironment dataVariable("XDG_DATA_HOME", "relative/share");
    const ScopedEnvironment scopes("KELO_SEARCH_SCOPES", list.c_str());

    const SearchScope scope = currentSearchScope();
    EXPECT_EQ(scope.roots, (Roots{{folder.path() / "one", true}, {folder.path() / "two", true}}));
    EXPECT_EQ(scope.pruned, (Paths{Path(home) / ".local/share/Trash"}));
    EXPECT_EQ(scope.prunedNames, (Names{".Trash", ".Trash-" + std::to_string(::getuid())}));
}

TEST(CurrentScope, UsesAnAbsoluteDataHomeAndWithoutOverrideTheMachinesMounts) {
    const ScopedEnvironment homeVariable("HOME", "/home/somebody");
    const ScopedEnvironment dataVariable("XDG_DATA_HOME", "/data/somebody");
    const ScopedEnvironment scopes("KELO_SEARCH_SCOPES", nullptr);

    const SearchScope scope = currentSearchScope();
    EXPECT_TRUE(
        std::binary_search(scope.pruned.begin(), scope.pruned.end(), Path("/data/somebody/Trash")));
    EXPECT_TRUE(std::binary_search(scope.pruned.begin(), scope.pruned.end(), Path("/proc")));
    // Whatever this machine mounts, /proc is a mount point and never a root.
    EXPECT_TRUE(
        std::binary_search(scope.mountPoints.begin(), scope.mountPoints.end(), Path("/proc")));
    for (const auto &root : scope.roots)
        EXPECT_FALSE(root.path == "/proc" || root.path == "/sys") << root.path;
}
