#include "ExpiryStamp.h"
#include "Subprocess.h"
#include "TagList.h"
#include "TemporaryFolder.h"
#include "Term.h"
#include "UnchangeableFile.h"

#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace kelo;
using Lines = std::vector<std::string>;

namespace {

// kelo-finder in Dutch in Amsterdam, started in `folder` when one is given.
ProcessResult keloFinder(std::vector<std::string> args, const std::string &folder = "/") {
    args.insert(args.begin(), {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", folder, KELO_FINDER});
    return runProcess(args, {"LC_ALL=nl_NL.UTF-8", "TZ=Europe/Amsterdam"});
}

void setAttribute(const std::filesystem::path &file, const char *name, std::string_view value) {
    ASSERT_EQ(::setxattr(file.c_str(), name, value.data(), value.size(), 0), 0);
}

Lines lines(const std::string &text) {
    Lines out;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        out.push_back(text.substr(start, end - start));
    return out;
}

class KeloFinderCommand : public ::testing::Test {
protected:
    TemporaryFolder folder;
    std::filesystem::path first = folder.file("een.txt");
    std::filesystem::path second = folder.file("twee.txt");
};

} // namespace

// The menu: the shared stamp only when every file has the same one, the terms with their tags;
// other kinds of menu are empty.
TEST_F(KeloFinderCommand, MenuShowsTheSharedStampAndTheTermsWithTheirTags) {
    setAttribute(first, stampAttributeName, "2026-12-05");
    setAttribute(second, stampAttributeName, "2026-12-05");
    const auto result = keloFinder({"menu", first, second});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "Kelo  [tag 0]\n"
                          "    Tot 5 december 2026  [tag 0] (uit)\n"
                          "    ---\n"
                          "    1 week  [tag 0]\n"
                          "    1 maand  [tag 1]\n"
                          "    3 maanden  [tag 2]\n"
                          "    1 jaar  [tag 3]\n"
                          "    ---\n"
                          "    Altijd houden  [tag -1]\n");

    setAttribute(first, stampAttributeName, "2026-12-06");
    EXPECT_EQ(lines(keloFinder({"menu", first, second}).out).at(1), "    1 week  [tag 0]");
    const auto unstamped = folder.file("drie.txt");
    for (const auto &files : {Lines{unstamped, second}, Lines{second, unstamped}})
        EXPECT_EQ(lines(keloFinder({"menu", files[0], files[1]}).out).at(1), "    1 week  [tag 0]");
    for (const char *kind : {"container", "sidebar", "toolbar"}) {
        const auto empty = keloFinder({"menu", "--kind", kind, first});
        EXPECT_EQ(empty.exitCode, 0);
        EXPECT_EQ(empty.out, "") << kind;
    }
}

TEST_F(KeloFinderCommand, PickStampsEveryFileAndKeepForeverClearsKeepingOtherTags) {
    setAttribute(second, tagListAttributeName, "Werk");
    const auto result = keloFinder({"pick", "1", first, second});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const Calendar calendar = Calendar::forZone("Europe/Amsterdam");
    for (const auto &file : {first, second})
        EXPECT_EQ(readStamp(file, calendar), expiryDate(Term::month, currentInstant(), calendar));
    EXPECT_EQ(readTagNames(second).value(), (Lines{"Werk", "Kelo"}));

    setAttribute(first, tagListAttributeName, "Werk,Kelo,Thuis");
    const auto kept = keloFinder({"pick", "-1", first});
    EXPECT_EQ(kept.exitCode, 0) << kept.err;
    EXPECT_FALSE(readStamp(first));
    EXPECT_EQ(readTagNames(first).value(), (Lines{"Werk", "Thuis"}));
}

TEST_F(KeloFinderCommand, AFileThatCannotChangeIsLoggedAndTheOthersAreStamped) {
    const auto locked = folder.file("vast.txt");
    const UnchangeableFile unchangeable(locked);
    if (!unchangeable.ok())
        GTEST_SKIP() << "cannot make a file unchangeable here";
    const auto result = keloFinder({"pick", "0", first, locked, second});
    EXPECT_EQ(result.exitCode, 1);
    const auto logged = lines(result.err);
    ASSERT_EQ(logged.size(), 1u) << result.err;
    EXPECT_TRUE(logged[0].starts_with("Kelo: could not update " + locked.string() + ": "))
        << logged[0];
    EXPECT_TRUE(readStamp(first));
    EXPECT_TRUE(readStamp(second));
    EXPECT_FALSE(readStamp(locked));

    // Keeping forever a file without a stamp has nothing to write, so nothing to fail.
    const auto kept = keloFinder({"pick", "-1", locked});
    EXPECT_EQ(kept.exitCode, 0);
    EXPECT_EQ(kept.err, "");
}

// Names relative to the working folder, byte for byte; a failure is one line, never formatted.
TEST_F(KeloFinderCommand, OddFileNamesAreStampedByteForByteAndFailuresAreOneLine) {
    const std::vector<std::filesystem::path> odd = {
        folder.file("latin1-\xe9t\xe9.txt"), folder.file("twee\nregels.txt"),
        folder.file("-begint-met-streepje"), folder.file("100%s %n procent.txt")};
    Lines args = {"pick", "2", "--"};
    for (const auto &file : odd)
        args.push_back(file.filename());
    const auto result = keloFinder(args, folder.path());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    for (const auto &file : odd)
        EXPECT_TRUE(readStamp(file)) << file;

    // Below a folder whose whole path is longer than PATH_MAX the name stays relative.
    const std::string level(250, 'd');
    int deep = ::open(folder.path().c_str(), O_RDONLY | O_DIRECTORY);
    for (int depth = 0; depth < 20; ++depth) {
        ASSERT_EQ(::mkdirat(deep, level.c_str(), 0700), 0);
        const int next = ::openat(deep, level.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(deep);
        deep = next;
    }
    ::close(::openat(deep, "diep.txt", O_CREAT | O_WRONLY, 0600));
    const std::string deepFolder = "/proc/self/fd/" + std::to_string(deep);
    const auto below = keloFinder({"pick", "2", "diep.txt"}, deepFolder);
    EXPECT_EQ(below.exitCode, 0) << below.err;
    EXPECT_TRUE(readStamp(deepFolder + "/diep.txt"));
    ::close(deep);

    // Control bytes and bytes that are not UTF-8 are escaped alike; UTF-8 text stays.
    const auto missing = folder.path() / "100%s%n\nKelo: nep\x01\xff-\xc3\xa9.txt";
    const auto failed = keloFinder({"pick", "3", "--", missing});
    EXPECT_EQ(failed.exitCode, 1);
    const auto logged = lines(failed.err);
    ASSERT_EQ(logged.size(), 1u) << failed.err;
    EXPECT_NE(logged[0].find("100%s%n\\nKelo: nep\\x01\\xff-\xc3\xa9.txt: "), std::string::npos)
        << logged[0];
}

// A link is refused rather than followed: the file it points to may lie where Kelo never looks.
TEST_F(KeloFinderCommand, ASymbolicLinkIsRefusedAndTheOtherFilesAreHandled) {
    const auto target = folder.file("doel.txt");
    setAttribute(target, stampAttributeName, "2026-12-05");
    const auto link = folder.path() / "snelkoppeling";
    std::filesystem::create_symlink(target, link);
    for (const char *tag : {"1", "-1"}) {
        SCOPED_TRACE(tag);
        const auto result = keloFinder({"pick", tag, first, link, second});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, "Kelo: could not update " + link.string() +
                                  ": it is a symbolic link; give the file it points to instead\n");
        EXPECT_EQ(readStamp(first).has_value(), tag == std::string("1"));
        EXPECT_EQ(readStamp(second).has_value(), tag == std::string("1"));
        char value[16] = {};
        EXPECT_EQ(::getxattr(target.c_str(), stampAttributeName, value, sizeof value), 10);
        EXPECT_STREQ(value, "2026-12-05");
    }
}

TEST_F(KeloFinderCommand, UsageErrorsExitWithTwo) {
    for (const auto &args : std::vector<Lines>{{},
                                               {"pick", "week", first},
                                               {"pick", "1x", first},
                                               {"pick", "4", first},
                                               {"pick", "-0", first},
                                               {"pick", "01", first},
                                               {"pick", "0"},
                                               {"menu"},
                                               {"menu", "--kind", "desktop", first},
                                               {"menu", "--bogus", first},
                                               {"stamp", first}}) {
        const auto result = keloFinder(args);
        EXPECT_EQ(result.exitCode, 2) << ::testing::PrintToString(args);
        EXPECT_NE(result.err.find("kelo-finder: "), std::string::npos);
        EXPECT_EQ(result.out, "");
    }
    const auto noKind = keloFinder({"menu", first, "--kind"});
    EXPECT_EQ(noKind.exitCode, 2);
    EXPECT_TRUE(noKind.err.starts_with("kelo-finder: the option '--kind' needs a value\n"))
        << noKind.err;
    EXPECT_FALSE(readStamp(first));
    const auto help = keloFinder({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("kelo-finder pick TAG [--] FILE..."), std::string::npos);
}
