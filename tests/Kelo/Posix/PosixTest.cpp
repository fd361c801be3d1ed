#include "FileDescriptor.h"
#include "Files.h"
#include "MountInfo.h"
#include "UserFolders.h"

#include "ScopedEnvironment.h"
#include "TemporaryFolder.h"

#include <cerrno>
#include <tuple>

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

using namespace kelo;
namespace fs = std::filesystem;

// Good lines with any number of optional fields, an empty source and no final newline, between
// malformed ones; the kernel's octal escapes undone, any other backslash kept.
TEST(MountInfo, ParsesGoodLinesUndoesTheKernelsEscapesAndSkipsMalformedOnes) {
    const std::string text =
        "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw,errors=continue\n\n"
        "garbage\n"
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
        "2 1 8:2 / /a rw shared:2 master:3 propagate_from:4 unbindable - xfs /dev/sda2 rw\n"
        "4 1 8:1 / /media/My\\040Disk\\011tab\\012line rw - ext4 /dev/sda1 rw\n"
        "5 1 8:1 / /\\303\\251t\\377\\134 rw - ext4 /dev/sda1 rw\n"
        // No byte: not a NUL, not a byte cut down from 256 and more.
        "6 1 8:1 / /a\\400\\777b\\b\\9\\04\\ rw - ext4 /dev/sda1 rw\n"
        "3 1 0:50 /back\\134slash /b rw,nosuid shared:9 - tmpfs  rw,size=10k";
    const std::tuple<std::string, std::string, std::string, std::string> expected[] = {
        {"98:0", "/mnt1", "/mnt2", "ext3"},
        {"8:2", "/", "/a", "xfs"},
        {"8:1", "/", "/media/My Disk\ttab\nline", "ext4"},
        {"8:1", "/", "/\xC3\xA9t\xFF\\", "ext4"},
        {"8:1", "/", "/a\\400\\777b\\b\\9\\04\\", "ext4"},
        {"0:50", "/back\\slash", "/b", "tmpfs"}};
    const auto entries = parseMountInfo(text);
    ASSERT_EQ(entries.size(), std::size(expected));
    for (size_t i = 0; i < entries.size(); ++i)
        EXPECT_EQ(std::tuple(entries[i].device, entries[i].root.native(),
                             entries[i].mountPoint.native(), entries[i].fileSystemType),
                  expected[i]);
}

TEST(Files, IsWithinComparesWholeNamesAndMakeFoldersSetsTheModeWhateverTheUmask) {
    const std::tuple<const char *, const char *, bool> cases[] = {
        {"/a/b", "/a/b", true}, {"/a/b/c", "/a/b", true},    {"/a/bc", "/a/b", false},
        {"/a", "/a/b", false},  {"/x", "/", true},           {"/", "/", true},
        {"", "/", false},       {"/a\xFF/b", "/a\xFF", true}};
    for (const auto &[path, folder, within] : cases)
        EXPECT_EQ(isWithin(path, folder), within) << path << " in " << folder;

    const TemporaryFolder folder;
    const mode_t umask = ::umask(0277);
    const int made = makeFolders(folder.path() / "a/b/c", 0700);
    ::umask(umask);
    ASSERT_EQ(made, 0);
    for (const fs::path &at :
         {folder.path() / "a", folder.path() / "a/b", folder.path() / "a/b/c"}) {
        struct stat status {};
        EXPECT_TRUE(::stat(at.c_str(), &status) == 0 && (status.st_mode & 07777) == 0700) << at;
    }
    EXPECT_EQ(makeFolders(folder.path() / "a/b/c", 0700), 0);
    folder.file("a/file");
    EXPECT_EQ(makeFolders(folder.path() / "a/file", 0700), ENOTDIR);
    EXPECT_EQ(makeFolders(folder.path() / "a/file/below", 0700), ENOTDIR);
}

TEST(FileDescriptor, OwnsOneDescriptorAndClosesItOnce) {
    const auto isOpen = [](int fd) { return ::fcntl(fd, F_GETFD) != -1; };
    const int raw = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    {
        FileDescriptor first(raw);
        FileDescriptor second(std::move(first));
        EXPECT_FALSE(first);
        second = std::move(second);
        first = std::move(second);
        EXPECT_TRUE(first.get() == raw && isOpen(raw));
    }
    EXPECT_FALSE(isOpen(raw));

    FileDescriptor kept(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    const int released = kept.release();
    EXPECT_TRUE(!kept && isOpen(released));
    kept.reset(released);
    kept.reset(AT_FDCWD);
    EXPECT_FALSE(isOpen(released));
    kept.reset();
    EXPECT_FALSE(kept);
}

TEST(UserFolders, AnAbsoluteVariableElseTheDefaultBelowHome) {
    const ScopedEnvironment home("HOME", "/home/ida");
    const ScopedEnvironment data("XDG_DATA_HOME", "/srv/data");
    const ScopedEnvironment cache("XDG_CACHE_HOME", "relative/cache");
    const ScopedEnvironment config("XDG_CONFIG_HOME", "");
    EXPECT_EQ(dataHome().native() + cacheHome().native() + configHome().native(),
              "/srv/data/home/ida/.cache/home/ida/.config");
    const std::pair<const char *, std::vector<fs::path>> lists[] = {
        {nullptr, {"/usr/local/share", "/usr/share"}},
        {"", {"/usr/local/share", "/usr/share"}},
        {":/opt/share::relative:/usr/share/:", {"/opt/share", "/usr/share/"}},
        {"relative", {}}};
    for (const auto &[list, folders] : lists) {
        const ScopedEnvironment dirs("XDG_DATA_DIRS", list);
        EXPECT_EQ(dataFolders(), folders) << (list ? list : "unset");
    }
}
