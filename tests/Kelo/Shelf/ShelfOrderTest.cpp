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

TEST(ShelfNameKeyTest, NfcBytesOrderedCaseSensitivelyByScalarValue) {
    EXPECT_LT(shelfNameKey("B.pdf"), shelfNameKey("a.pdf"));
    EXPECT_LT(shelfNameKey("Rapport 10.pdf"), shelfNameKey("Rapport 9.pdf"));
    EXPECT_EQ(shelfNameKey("cafe\xcc\x81.txt"), "caf\xc3\xa9.txt");
    // U+FF5E FULLWIDTH TILDE sorts after U+1F600 GRINNING FACE in UTF-16, before it by scalar.
    EXPECT_LT(shelfNameKey("\xef\xbd\x9e"), shelfNameKey("\xf0\x9f\x98\x80"));
    // Invalid UTF-8 keeps its bytes: an overlong '/', text that would normalise were it valid,
    // a NUL.
    for (const std::string &name : {std::string("\xc0\xaf"), std::string("e\xcc\x81 and \xe9"),
                                    std::string("nul\0inside", 10)})
        EXPECT_EQ(shelfNameKey(name), name);
}

TEST(LocalizedStandardCompareTest, NumbersByValueCaseIgnoredAccentsSecondaryPerLocale) {
    // Each: locale, a, b, and how a compares to b (and so b to a). An unknown locale takes the
    // root order; invalid UTF-8 compares as shown, with U+FFFD REPLACEMENT CHARACTER.
    const std::tuple<const char *, std::string, std::string, int> cases[] = {
        {"en_US", "Rapport 9.pdf", "Rapport 10.pdf", -1},
        {"en_US", "a.txt", "B.txt", -1},
        {"en_US", "e", "\xc3\xa9", -1},
        {"en_US", "e\xcc\x81", "\xc3\xa9", 0},
        {"sv_SE", oUmlaut, "z", 1},
        {"nl_NL", oUmlaut, "z", -1},
        {"en_US", "caf\xe9", "caf\xef\xbf\xbd", 0}};
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
    // The C locale ignores case all the same.
    ScopedEnvironment all("LC_ALL", "C");
    EXPECT_LT(LocalizedStandardCompare().compare("a.txt", "B.txt"), 0);
}

TEST(FolderGroupsTest, GroupsByFolderBothOrderedByName) {
    ScopedEnvironment all{"LC_ALL", "en_US.UTF-8"};
    using Paths = std::vector<path>;
    const std::pair<Paths, std::vector<FolderGroup>> cases[] = {
        {{"/u/Downloads/b.zip", "/u/Desktop/note.txt", "/u/Downloads/a.zip"},
         {{"/u/Desktop", {"/u/Desktop/note.txt"}},
          {"/u/Downloads", {"/u/Downloads/a.zip", "/u/Downloads/b.zip"}}}},
        {{"/d/Rapport 10.pdf", "/d/B.txt", "/d/Rapport 9.pdf", "/d/a.txt"},
         {{"/d", {"/d/a.txt", "/d/B.txt", "/d/Rapport 9.pdf", "/d/Rapport 10.pdf"}}}},
        // A folder written with extra separators is one group; files keep their paths.
        {{"/d//c.txt", "/d/b.txt", "/d/./a.txt"},
         {{"/d", {"/d/./a.txt", "/d/b.txt", "/d//c.txt"}}}},
        {{"/p/Project 10/a", "/p/project 9/a", "/p/Archive/a"},
         {{"/p/Archive", {"/p/Archive/a"}},
          {"/p/project 9", {"/p/project 9/a"}},
          {"/p/Project 10", {"/p/Project 10/a"}}}},
        // Names equal but for case keep their order.
        {{"/d/B.txt", "/d/b.txt"}, {{"/d", {"/d/B.txt", "/d/b.txt"}}}},
        {{"/b.txt", "/a.txt"}, {{"/", {"/a.txt", "/b.txt"}}}},
    };
    for (const auto &[files, expected] : cases)
        EXPECT_EQ(folderGroups(files), expected) << (files.empty() ? path() : files.front());
    // Compared as paths, "/d//c.txt" equals "/d/c.txt": the bytes must be kept too.
    EXPECT_EQ(folderGroups(cases[2].first).at(0).files.at(2).native(), "/d//c.txt");
}

TEST(AllocatedSizeTest, CountsBlocksOnceWithoutFollowingLinks) {
    const TemporaryFolder outside, folder;
    const auto big = outside.file("big", std::string(200'000, 'b'));
    std::filesystem::create_directory(outside.path() / "folder");
    outside.file("folder/inner", std::string(200'000, 'i'));
    EXPECT_EQ(allocatedSize(folder.path()), 0);
    std::filesystem::create_directories(folder.path() / "one/two/three");
    std::int64_t expected = 0;
    for (const char *name : {"top", "one/a", "one/two/b", "one/two/three/c"})
        expected += measured(folder.file(name, std::string(20'000, 'x')));
    ASSERT_GT(expected, 0);
    EXPECT_EQ(allocatedSize(folder.path() / "one/two"),
              measured(folder.path() / "one/two/b") + measured(folder.path() / "one/two/three/c"));

    // A sparse file takes its blocks, not its length.
    const path sparse = folder.path() / "one/sparse";
    const int fd = ::open(sparse.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    constexpr off_t length = 10 * 1024 * 1024;
    ASSERT_TRUE(fd >= 0 && ::ftruncate(fd, length) == 0 && ::pwrite(fd, "x", 1, length / 2) == 1);
    ::close(fd);
    EXPECT_EQ(allocatedSize(sparse), measured(sparse));
    expected += measured(sparse);

    // Links are the links, whether met in a folder or given themselves; a hard link counts once.
    std::filesystem::create_symlink(big, folder.path() / "to-file");
    std::filesystem::create_directory_symlink(outside.path() / "folder",
                                              folder.path() / "to-folder");
    std::filesystem::create_hard_link(folder.path() / "top", folder.path() / "one/again");
    for (const char *link : {"to-file", "to-folder"})
        expected += measured(folder.path() / link);
    EXPECT_EQ(allocatedSize(folder.path() / "to-folder"), measured(folder.path() / "to-folder"));
    EXPECT_EQ(allocatedSize(folder.path()), expected);
    EXPECT_EQ(allocatedSize(folder.path() / "missing"), 0);
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

TEST(AllocatedSizeTest, FolderDeeperThanPathMaxIsWalked) {
    // 40 levels of 200-character names, made relative to open folders since the whole path
    // cannot be named; std::filesystem removes them the same way.
    const TemporaryFolder folder;
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
    EXPECT_EQ(allocatedSize(folder.path()), static_cast<std::int64_t>(status.st_blocks) * 512);
}

} // namespace
