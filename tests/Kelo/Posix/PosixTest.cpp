#include "FileDescriptor.h"
#include "Files.h"
#include "MountInfo.h"
#include "UserFolders.h"

#include "ScopedEnvironment.h"
#include "TemporaryFolder.h"

#include <cerrno>
#include <tuple>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

using namespace kelo;
namespace fs = std::filesystem;

// Good lines with any number of optional fields and an empty source, between malformed ones;
// the kernel's octal escapes undone, any other backslash kept.
TEST(MountInfo, ParsesGoodLinesUndoesTheKernelsEscapesAndSkipsMalformedOnes) {
    const std::string text =
        "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw,errors=continue\n\n"
        "1 0 8:1 / / rw shared:1 ext4 /dev/sda1 rw\n"
        "1 0 81 / /z rw - ext4 /dev/sda1 rw\n"
        "1 0 8:1 / relative rw - ext4 /dev/sda1 rw\n"
        "1 0 8:1 / /v rw - ext4\n"
        "2 1 8:2 / /a rw shared:2 master:3 propagate_from:4 unbindable - xfs /dev/sda2 rw\n"
        "4 1 8:1 / /media/My\\040Disk\\011tab\\012line rw - ext4 /dev/sda1 rw\n"
        "5 1 8:1 / /\\303\\251t\\377\\134 rw - ext4 /dev/sda1 rw\n"
        // No byte: not a NUL, not a byte cut down from 256 and more.
        "6 1 8:1 / /a\\400\\777b\\b\\9\\04\\ rw - ext4 /dev/sda1 rw\n"
        "3 1 0:50 /back\\134slash /b rw,nosuid shared:9 - tmpfs  rw,size=10k";
    const std::vector<std::string> expected = {"98:0 /mnt1 /mnt2 ext3",
                                               "8:2 / /a xfs",
                                               "8:1 / /media/My Disk\ttab\nline ext4",
                                               "8:1 / /\xC3\xA9t\xFF\\ ext4",
                                               "8:1 / /a\\400\\777b\\b\\9\\04\\ ext4",
                                               "0:50 /back\\slash /b tmpfs"};
    std::vector<std::string> entries;
    for (const auto &entry : parseMountInfo(text))
        entries.push_back(entry.device + " " + entry.root.native() + " " +
                          entry.mountPoint.native() + " " + entry.fileSystemType);
    EXPECT_EQ(entries, expected);
}

TEST(Files, IsWithinComparesWholeNamesAndMakeFoldersSetsTheModeWhateverTheUmask) {
    const std::tuple<const char *, const char *, bool> cases[] = {
        {"/a/b/c", "/a/b", true}, {"/a/bc", "/a/b", false}, {"/x", "/", true}, {"", "/", false}};
    for (const auto &[path, folder, within] : cases)
        EXPECT_EQ(isWithin(path, folder), within) << path << " in " << folder;

    const TemporaryFolder folder;
    const mode_t umask = ::umask(0277);
    const int made = makeFolders(folder.path() / "a/b", 0700);
    ::umask(umask);
    ASSERT_EQ(made, 0);
    for (const fs::path &at : {folder.path() / "a", folder.path() / "a/b"})
        EXPECT_EQ(fs::status(at).permissions(), fs::perms::owner_all) << at;
    EXPECT_EQ(makeFolders(folder.path() / "a/b", 0700), 0);
    folder.file("a/file");
    EXPECT_EQ(makeFolders(folder.path() / "a/file/below", 0700), ENOTDIR);
}

TEST(FileDescriptor, OwnsOneDescriptorAndClosesItOnce) {
    const auto isOpen = [](int fd) { return ::fcntl(fd, F_GETFD) != -1; };
    const int raw = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    {
        FileDescriptor first(raw);
        FileDescriptor second(std::move(first));
        second = std::move(second);
        first = std::move(second);
        EXPECT_TRUE(first.get() == raw && isOpen(raw));
    }
    EXPECT_FALSE(isOpen(raw));
    FileDescriptor kept(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    const int released = kept.release();
    EXPECT_TRUE(!kept && isOpen(released));
    kept.reset(released);
    kept.reset();
    EXPECT_FALSE(isOpen(released));
}

TEST(UserFolders, AnAbsoluteVariableElseTheDefaultBelowHome) {
    const ScopedEnvironment home("HOME", "/home/ida");
    const ScopedEnvironment data("XDG_DATA_HOME", "/srv/data");
    const ScopedEnvironment cache("XDG_CACHE_HOME", "relative/cache");
    EXPECT_EQ(dataHome().native() + cacheHome().native(), "/srv/data/home/ida/.cache");
    const ScopedEnvironment unset("XDG_DATA_DIRS", "");
    EXPECT_EQ(dataFolders(), (std::vector<fs::path>{"/usr/local/share", "/usr/share"}));
    const ScopedEnvironment dirs("XDG_DATA_DIRS", ":/opt/share::relative:/usr/share/:");
    EXPECT_EQ(dataFolders(), (std::vector<fs::path>{"/opt/share", "/usr/share/"}));
}
