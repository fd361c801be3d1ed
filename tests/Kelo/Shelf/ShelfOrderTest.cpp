#include "ShelfOrder.h"

#include <climits>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "ScopedEnvironment.h"
#include "TemporaryFolder.h"

using namespace kelo;
using std::filesystem::path;

namespace {

const std::string oUmlaut = "\xc3\xb6";

std::int64_t measured(const path &file) {
    struct stat status {};
    return ::lstat(file.c_str(), &status) == 0 ? static_cast<std::int64_t>(status.st_blocks) * 512
                                               : -1;
}

TEST(ShelfNameKeyTest, NfcBytesOrInvalidUtf8AsItIs) {
    EXPECT_EQ(shelfNameKey("cafe\xcc\x81.txt"), "caf\xc3\xa9.txt");
    // Invalid UTF-8 keeps its bytes, though it would normalise were it valid.
    EXPECT_EQ(shelfNameKey("e\xcc\x81 and \xe9"), "e\xcc\x81 and \xe9");
}

TEST(LocalizedStandardCompareTest, NumbersByValueCaseIgnoredAccentsSecondaryPerLocale) {
    // Each: locale, a, b, and how a compares to b (and so b to a).
    const std::tuple<const char *, std::string, std::string, int> cases[] = {
        {"en_US", "Rapport 9.pdf", "Rapport 10.pdf", -1},
        {"en_US", "a.txt", "B.txt", -1},
        {"en_US", "e", "\xc3\xa9", -1},
        {"en_US", "e\xcc\x81", "\xc3\xa9", 0},
    };
    for (const auto &[locale, a, b, expected] : cases) {
        const LocalizedStandardCompare compare(locale);
        const int ab = compare.compare(a, b), ba = compare.compare(b, a);
        EXPECT_EQ((ab > 0) - (ab < 0), expected) << locale << ": " << a << " vs " << b;
        EXPECT_EQ((ba > 0) - (ba < 0), -expected) << locale << ": " << b << " vs " << a;
    }
    // From the environment: LC_ALL, LC_COLLATE, LANG, and whether that is Swedish (ö after z).
    const std::tuple<const char *, const char *, const char *, bool> variables[] = {
        {nullptr, "sv_SE.UTF-8", "nl_NL.UTF-8", true},
        {"nl_NL.UTF-8@euro", "sv_SE.UTF-8", nullptr, false}};
    for (const auto &[all, collate, lang, swedish] : variables) {
        ScopedEnvironment allVariable("LC_ALL", all), collateVariable("LC_COLLATE", collate),
            langVariable("LANG", lang);
        EXPECT_EQ(LocalizedStandardCompare().compare(oUmlaut, "z") > 0, swedish) << collate;
    }
}

TEST(FolderGroupsTest, GroupsByFolderBothOrderedByName) {
    ScopedEnvironment all{"LC_ALL", "en_US.UTF-8"};
    // A folder written with extra separators is one group; files keep their bytes, which
    // compared as paths would be equal.
    const auto groups = folderGroups({"/p/Project 10/b", "/p/project 9/a", "/p//Project 10/./a"});
    EXPECT_EQ(groups, (std::vector<FolderGroup>{
                          {"/p/project 9", {"/p/project 9/a"}},
                          {"/p/Project 10", {"/p//Project 10/./a", "/p/Project 10/b"}}}));
    EXPECT_EQ(groups.at(1).files.at(0).native(), "/p//Project 10/./a");
}

TEST(AllocatedSizeTest, UnreadableFolderCountsNothing) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads every folder";
    const TemporaryFolder folder;
    const auto readable = folder.file("readable", std::string(30'000, 'r'));
    std::filesystem::create_directory(folder.path() / "locked");
    folder.file("locked/hidden", std::string(30'000, 'h'));
    ::chmod((folder.path() / "locked").c_str(), 0);
    const auto size = allocatedSize(folder.path());
    ::chmod((folder.path() / "locked").c_str(), 0700);
    EXPECT_EQ(size, measured(readable));
}

TEST(AllocatedSizeTest, CountsBlocksOnceWithoutFollowingLinksAtAnyDepth) {
    const TemporaryFolder outside, folder;
    const auto big = outside.file("big", std::string(200'000, 'b'));
    const auto top = folder.file("top", std::string(20'000, 'x'));
    // Links are the links, whether met in a folder or given themselves; a hard link counts once.
    std::filesystem::create_symlink(big, folder.path() / "to-file");
    std::filesystem::create_directory_symlink(outside.path(), folder.path() / "to-folder");
    std::filesystem::create_hard_link(top, folder.path() / "again");
    EXPECT_EQ(allocatedSize(folder.path() / "to-folder"), measured(folder.path() / "to-folder"));
    EXPECT_EQ(allocatedSize(folder.path() / "missing"), 0);
    // 40 levels of 200-character names, made relative to open folders since the whole path
    // cannot be named; std::filesystem removes them the same way.
    const std::string name(200, 'd'), content(40'000, 'z');
    static_assert(40 * 201 > PATH_MAX);
    int fd = ::open(folder.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; level < 40; ++level) {
        ASSERT_EQ(::mkdirat(fd, name.c_str(), 0700), 0);
        const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    const int file = ::openat(fd, "file", O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    struct stat status {};
    ASSERT_EQ(::write(file, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    ASSERT_EQ(::fstat(file, &status), 0);
    ::close(file);
    ::close(fd);
    EXPECT_EQ(allocatedSize(folder.path()), measured(top) + measured(folder.path() / "to-file") +
                                                measured(folder.path() / "to-folder") +
                                                static_cast<std::int64_t>(status.st_blocks) * 512);
}

} // namespace
