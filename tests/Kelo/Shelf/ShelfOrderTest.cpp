#include "ShelfOrder.h"

#include <climits>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <unicode/unistr.h>

#include "ScopedEnvironment.h"
#include "TemporaryFolder.h"

using kelo::allocatedSize;
using kelo::FolderGroup;
using kelo::folderGroups;
using kelo::LocalizedStandardCompare;
using kelo::shelfNameKey;
using std::filesystem::path;

namespace {

// U+FF5E FULLWIDTH TILDE and U+1F600 GRINNING FACE, whose UTF-16 code units order the other way
// round from their scalar values.
const std::string fullwidthTilde = "\xef\xbd\x9e";
const std::string grinningFace = "\xf0\x9f\x98\x80";

std::int64_t measured(const path &file) {
    struct stat status {};
    if (::lstat(file.c_str(), &status) != 0)
        return -1;
    return static_cast<std::int64_t>(status.st_blocks) * 512;
}

int sign(int value) {
    return (value > 0) - (value < 0);
}

// ---- shelfNameKey ----

TEST(ShelfNameKeyTest, AsciiNameIsItsOwnKey) {
    EXPECT_EQ(shelfNameKey("Rapport 9.pdf"), "Rapport 9.pdf");
    EXPECT_EQ(shelfNameKey(""), "");
}

TEST(ShelfNameKeyTest, OrdersCaseSensitively) {
    EXPECT_LT(shelfNameKey("B.pdf"), shelfNameKey("a.pdf"));
}

TEST(ShelfNameKeyTest, OrdersDigitsAsText) {
    EXPECT_LT(shelfNameKey("Rapport 10.pdf"), shelfNameKey("Rapport 9.pdf"));
}

TEST(ShelfNameKeyTest, DecomposedAndPrecomposedAccentsAreOneKey) {
    const std::string decomposed = "caf"
                                   "e\xcc\x81.txt";
    const std::string precomposed = "caf\xc3\xa9.txt";
    EXPECT_NE(decomposed, precomposed);
    EXPECT_EQ(shelfNameKey(decomposed), shelfNameKey(precomposed));
    EXPECT_EQ(shelfNameKey(decomposed), precomposed);
}

TEST(ShelfNameKeyTest, OrdersByScalarValueNotUtf16CodeUnits) {
    // The pair really does order differently in UTF-16.
    const auto tilde16 = icu::UnicodeString::fromUTF8(fullwidthTilde);
    const auto face16 = icu::UnicodeString::fromUTF8(grinningFace);
    ASSERT_GT(tilde16.compare(face16), 0);

    EXPECT_LT(shelfNameKey(fullwidthTilde), shelfNameKey(grinningFace));
    EXPECT_LT(shelfNameKey("a" + fullwidthTilde + ".txt"), shelfNameKey("a" + grinningFace));
}

TEST(ShelfNameKeyTest, InvalidUtf8KeepsItsBytes) {
    for (const std::string &name : {
             std::string("caf\xe9.txt"),        // Latin-1
             std::string("\xff\xfe"),           // never in UTF-8
             std::string("\xc0\xaf"),           // overlong '/'
             std::string("\xed\xa0\x80"),       // a surrogate
             std::string("e\xcc\x81 and \xe9"), // would normalise, were it valid
             std::string("trailing \xe2\x82"),  // cut short
             std::string("nul\0inside", 10),
         })
        EXPECT_EQ(shelfNameKey(name), name);
}

// ---- LocalizedStandardCompare ----

TEST(LocalizedStandardCompareTest, ComparesNumbersByValue) {
    const LocalizedStandardCompare compare("en_US");
    EXPECT_LT(compare.compare("Rapport 9.pdf", "Rapport 10.pdf"), 0);
    EXPECT_GT(compare.compare("Rapport 10.pdf", "Rapport 9.pdf"), 0);
    EXPECT_LT(compare.compare("2.txt", "010.txt"), 0);
}

TEST(LocalizedStandardCompareTest, IgnoresCase) {
    const LocalizedStandardCompare compare("en_US");
    EXPECT_LT(compare.compare("a.txt", "B.txt"), 0);
    EXPECT_GT(compare.compare("B.txt", "a.txt"), 0);
    EXPECT_EQ(compare.compare("b", "B"), 0);
    EXPECT_EQ(compare.compare("a.txt", "A.TXT"), 0);
    EXPECT_EQ(compare.compare("same", "same"), 0);
}

TEST(LocalizedStandardCompareTest, AccentsAreASecondaryDifference) {
    const LocalizedStandardCompare compare("en_US");
    EXPECT_NE(compare.compare("e", "\xc3\xa9"), 0);
    EXPECT_LT(compare.compare("\xc3\xa9", "f"), 0);
    // Canonically equivalent spellings are one text.
    EXPECT_EQ(compare.compare("e\xcc\x81", "\xc3\xa9"), 0);
}

TEST(LocalizedStandardCompareTest, FollowsTheLocalesAlphabet) {
    const std::string oUmlaut = "\xc3\xb6";
    const LocalizedStandardCompare swedish("sv_SE");
    const LocalizedStandardCompare dutch("nl_NL");
    EXPECT_GT(swedish.compare(oUmlaut, "z"), 0);
    EXPECT_LT(dutch.compare(oUmlaut, "z"), 0);
}

TEST(LocalizedStandardCompareTest, UnknownLocaleUsesTheRootOrder) {
    const LocalizedStandardCompare unknown("xx_YY");
    const LocalizedStandardCompare root("");
    EXPECT_LT(unknown.compare("\xc3\xb6", "z"), 0);
    EXPECT_LT(unknown.compare("Rapport 9", "Rapport 10"), 0);
    EXPECT_EQ(unknown.compare("b", "B"), 0);
    EXPECT_EQ(root.compare("b", "B"), 0);
}

TEST(LocalizedStandardCompareTest, ReadsTheCollationLocaleFromTheEnvironment) {
    const std::string oUmlaut = "\xc3\xb6";
    {
        ScopedEnvironment all("LC_ALL", nullptr);
        ScopedEnvironment collate("LC_COLLATE", "sv_SE.UTF-8");
        ScopedEnvironment lang("LANG", "nl_NL.UTF-8");
        EXPECT_GT(LocalizedStandardCompare().compare(oUmlaut, "z"), 0);
    }
    {
        ScopedEnvironment all("LC_ALL", "nl_NL.UTF-8@euro");
        ScopedEnvironment collate("LC_COLLATE", "sv_SE.UTF-8");
        EXPECT_LT(LocalizedStandardCompare().compare(oUmlaut, "z"), 0);
    }
    {
        ScopedEnvironment all("LC_ALL", "");
        ScopedEnvironment collate("LC_COLLATE", nullptr);
        ScopedEnvironment lang("LANG", "sv_SE.UTF-8");
        EXPECT_GT(LocalizedStandardCompare().compare(oUmlaut, "z"), 0);
    }
}

TEST(LocalizedStandardCompareTest, TheCLocaleStillIgnoresCaseAndReadsNumbers) {
    ScopedEnvironment all("LC_ALL", "C");
    const LocalizedStandardCompare compare;
    EXPECT_LT(compare.compare("a.txt", "B.txt"), 0);
    EXPECT_EQ(compare.compare("b", "B"), 0);
    EXPECT_LT(compare.compare("Rapport 9.pdf", "Rapport 10.pdf"), 0);
}

TEST(LocalizedStandardCompareTest, InvalidUtf8IsComparedAsShown) {
    const LocalizedStandardCompare compare("en_US");
    const std::string latin1 = "caf\xe9";
    const std::string replaced = "caf\xef\xbf\xbd"; // U+FFFD REPLACEMENT CHARACTER
    EXPECT_EQ(compare.compare(latin1, replaced), 0);
    EXPECT_LT(compare.compare("\xff"
                              "a",
                              "\xff"
                              "b"),
              0);
    EXPECT_EQ(sign(compare.compare("x\xfe", "x")), -sign(compare.compare("x", "x\xfe")));
}

// ---- folderGroups ----

class FolderGroupsTest : public testing::Test {
protected:
    ScopedEnvironment m_all{"LC_ALL", "en_US.UTF-8"};
};

TEST_F(FolderGroupsTest, NoFilesNoGroups) {
    EXPECT_TRUE(folderGroups({}).empty());
}

TEST_F(FolderGroupsTest, GroupsByFolderInFolderOrder) {
    const std::vector<path> files = {"/home/u/Downloads/b.zip", "/home/u/Desktop/note.txt",
                                     "/home/u/Downloads/a.zip"};
    const std::vector<FolderGroup> expected = {
        {"/home/u/Desktop", {"/home/u/Desktop/note.txt"}},
        {"/home/u/Downloads", {"/home/u/Downloads/a.zip", "/home/u/Downloads/b.zip"}},
    };
    EXPECT_EQ(folderGroups(files), expected);
}

TEST_F(FolderGroupsTest, OrdersFilesByName) {
    const path folder = "/home/u/Downloads";
    const std::vector<path> files = {folder / "Rapport 10.pdf", folder / "B.txt",
                                     folder / "Rapport 9.pdf", folder / "a.txt"};
    const auto groups = folderGroups(files);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0].folder, folder);
    const std::vector<path> expected = {folder / "a.txt", folder / "B.txt",
                                        folder / "Rapport 9.pdf", folder / "Rapport 10.pdf"};
    EXPECT_EQ(groups[0].files, expected);
}

TEST_F(FolderGroupsTest, FolderWrittenWithExtraSeparatorsIsOneGroup) {
    const std::vector<path> files = {"/home/u/Downloads//c.txt",
                                     path("/home/u/Downloads/") / "b.txt",
                                     "/home/u/Downloads/./a.txt"};
    const auto groups = folderGroups(files);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0].folder, path("/home/u/Downloads"));
    // The files keep the paths they came with.
    const std::vector<path> expected = {"/home/u/Downloads/./a.txt",
                                        path("/home/u/Downloads/") / "b.txt",
                                        "/home/u/Downloads//c.txt"};
    EXPECT_EQ(groups[0].files, expected);
}

TEST_F(FolderGroupsTest, SubfolderIsAGroupOfItsOwn) {
    const std::vector<path> files = {"/home/u/Downloads/Old/y.txt", "/home/u/Downloads/x.txt"};
    const std::vector<FolderGroup> expected = {
        {"/home/u/Downloads", {"/home/u/Downloads/x.txt"}},
        {"/home/u/Downloads/Old", {"/home/u/Downloads/Old/y.txt"}},
    };
    EXPECT_EQ(folderGroups(files), expected);
}

TEST_F(FolderGroupsTest, FoldersCompareByNumberAndIgnoringCase) {
    const std::vector<path> files = {"/p/Project 10/a", "/p/project 9/a", "/p/Archive/a"};
    const auto groups = folderGroups(files);
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_EQ(groups[0].folder, path("/p/Archive"));
    EXPECT_EQ(groups[1].folder, path("/p/project 9"));
    EXPECT_EQ(groups[2].folder, path("/p/Project 10"));
}

TEST_F(FolderGroupsTest, NamesEqualButForCaseKeepTheirOrder) {
    EXPECT_EQ(folderGroups({"/d/b.txt", "/d/B.txt"})[0].files,
              (std::vector<path>{"/d/b.txt", "/d/B.txt"}));
    EXPECT_EQ(folderGroups({"/d/B.txt", "/d/b.txt"})[0].files,
              (std::vector<path>{"/d/B.txt", "/d/b.txt"}));
}

TEST_F(FolderGroupsTest, FilesAtTheRoot) {
    const std::vector<FolderGroup> expected = {{"/", {"/a.txt", "/b.txt"}}};
    EXPECT_EQ(folderGroups({"/b.txt", "/a.txt"}), expected);
}

// ---- allocatedSize ----

TEST(AllocatedSizeTest, EmptyFolderTakesNothing) {
    const TemporaryFolder folder;
    EXPECT_EQ(allocatedSize(folder.path()), 0);
}

TEST(AllocatedSizeTest, FileTakesItsBlocks) {
    const TemporaryFolder folder;
    const auto file = folder.file("a", std::string(10'000, 'a'));
    EXPECT_GT(measured(file), 0);
    EXPECT_EQ(allocatedSize(file), measured(file));
}

TEST(AllocatedSizeTest, FolderTakesWhatItsFilesTake) {
    const TemporaryFolder folder;
    const auto small = folder.file("small", std::string(10'000, 's'));
    const auto big = folder.file("big", std::string(100'000, 'b'));
    ASSERT_GT(measured(small), 0);
    ASSERT_GT(measured(big), 0);
    EXPECT_EQ(allocatedSize(folder.path()), measured(small) + measured(big));
}

TEST(AllocatedSizeTest, NestedFoldersAreWalked) {
    const TemporaryFolder folder;
    std::filesystem::create_directories(folder.path() / "one/two/three");
    std::filesystem::create_directories(folder.path() / "one/other");
    std::filesystem::create_directories(folder.path() / "empty");
    std::int64_t expected = 0;
    for (const char *name : {"top", "one/a", "one/two/b", "one/two/three/c", "one/other/d"})
        expected += measured(folder.file(name, std::string(20'000, 'x')));
    ASSERT_GT(expected, 0);
    EXPECT_EQ(allocatedSize(folder.path()), expected);
    EXPECT_EQ(allocatedSize(folder.path() / "one/two"),
              measured(folder.path() / "one/two/b") + measured(folder.path() / "one/two/three/c"));
}

TEST(AllocatedSizeTest, SparseFileTakesItsBlocksNotItsLength) {
    const TemporaryFolder folder;
    const path file = folder.path() / "sparse";
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    constexpr off_t length = 10 * 1024 * 1024;
    ASSERT_EQ(::ftruncate(fd, length), 0);
    ASSERT_EQ(::pwrite(fd, "x", 1, length / 2), 1);
    ::close(fd);

    EXPECT_EQ(allocatedSize(file), measured(file));
    EXPECT_LT(allocatedSize(file), length);
    EXPECT_EQ(allocatedSize(folder.path()), measured(file));
}

TEST(AllocatedSizeTest, SymbolicLinksAreNotFollowed) {
    const TemporaryFolder outside;
    const auto big = outside.file("big", std::string(200'000, 'b'));
    std::filesystem::create_directory(outside.path() / "folder");
    outside.file("folder/inner", std::string(200'000, 'i'));
    ASSERT_GT(measured(big), 0);

    const TemporaryFolder folder;
    std::filesystem::create_symlink(big, folder.path() / "to-file");
    std::filesystem::create_directory_symlink(outside.path() / "folder",
                                              folder.path() / "to-folder");
    const std::int64_t links =
        measured(folder.path() / "to-file") + measured(folder.path() / "to-folder");
    EXPECT_LT(links, measured(big));
    EXPECT_EQ(allocatedSize(folder.path()), links);
    // A link given itself is the link, not what it points at.
    EXPECT_EQ(allocatedSize(folder.path() / "to-folder"), measured(folder.path() / "to-folder"));
    EXPECT_EQ(allocatedSize(folder.path() / "to-file"), measured(folder.path() / "to-file"));
}

TEST(AllocatedSizeTest, HardLinkedFileCountsOnce) {
    const TemporaryFolder folder;
    const auto file = folder.file("file", std::string(50'000, 'h'));
    std::filesystem::create_directory(folder.path() / "sub");
    std::filesystem::create_hard_link(file, folder.path() / "sub/again");
    EXPECT_EQ(allocatedSize(folder.path()), measured(file));
}

TEST(AllocatedSizeTest, MissingItemTakesNothing) {
    const TemporaryFolder folder;
    EXPECT_EQ(allocatedSize(folder.path() / "missing"), 0);
    EXPECT_EQ(allocatedSize(""), 0);
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

// A chain of folders deeper than PATH_MAX, built and removed relative to open folders since
// the whole path cannot be named.
class DeepChain {
public:
    DeepChain(const path &top, const std::string &name, int depth) {
        m_fds.push_back(::open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        for (int i = 0; i < depth && m_fds.back() >= 0; ++i) {
            if (::mkdirat(m_fds.back(), name.c_str(), 0700) != 0)
                break;
            m_fds.push_back(
                ::openat(m_fds.back(), name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        }
        m_name = name;
    }
    ~DeepChain() {
        ::unlinkat(bottom(), "file", 0);
        for (std::size_t i = m_fds.size(); i-- > 0;) {
            if (i + 1 < m_fds.size())
                ::unlinkat(m_fds[i], m_name.c_str(), AT_REMOVEDIR);
            if (m_fds[i] >= 0)
                ::close(m_fds[i]);
        }
    }
    DeepChain(const DeepChain &) = delete;
    DeepChain &operator=(const DeepChain &) = delete;

    std::size_t depth() const { return m_fds.size() - 1; }
    int bottom() const { return m_fds.back(); }

private:
    std::vector<int> m_fds;
    std::string m_name;
};

TEST(AllocatedSizeTest, FolderDeeperThanPathMaxIsWalked) {
    const TemporaryFolder folder;
    const std::string name(200, 'd');
    constexpr int depth = 40;
    const DeepChain chain(folder.path(), name, depth);
    ASSERT_EQ(chain.depth(), static_cast<std::size_t>(depth));
    ASSERT_GT(depth * (name.size() + 1), static_cast<std::size_t>(PATH_MAX));

    const int fd = ::openat(chain.bottom(), "file", O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    const std::string content(40'000, 'z');
    ASSERT_EQ(::write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    ::close(fd);
    struct stat status {};
    ASSERT_EQ(::fstatat(chain.bottom(), "file", &status, AT_SYMLINK_NOFOLLOW), 0);
    const auto expected = static_cast<std::int64_t>(status.st_blocks) * 512;
    ASSERT_GT(expected, 0);

    EXPECT_EQ(allocatedSize(folder.path()), expected);
}

} // namespace
