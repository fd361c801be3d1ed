// kelo-finder, the host for scripts and for the static menus of Dolphin and Nemo. What the menu
// holds and what picking writes is the core's, tested on its own.
#include "ExpiryStamp.h"
#include "Subprocess.h"
#include "TemporaryFolder.h"
#include "Term.h"

#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>

#include <gtest/gtest.h>

using namespace kelo;
using Lines = std::vector<std::string>;

namespace {

// kelo-finder in Dutch in Amsterdam, started in `folder`.
ProcessResult keloFinder(std::vector<std::string> args, const std::string &folder = "/") {
    args.insert(args.begin(), {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", folder, KELO_FINDER});
    return runProcess(args, {"LC_ALL=nl_NL.UTF-8", "TZ=Europe/Amsterdam"});
}

class KeloFinderCommand : public ::testing::Test {
protected:
    TemporaryFolder folder;
    std::filesystem::path first = folder.file("een.txt");
};

} // namespace

// The menu a line an entry, indented by depth, with its tag; --kind names the menu.
TEST_F(KeloFinderCommand, MenuPrintsTheEntriesWithTheirTagsAndKindsPickTheMenu) {
    ASSERT_EQ(::setxattr(first.c_str(), stampAttributeName, "2026-12-05", 10, 0), 0);
    const auto result = keloFinder({"menu", "--kind", "items", first});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(
        result.out.find("\n    Tot 5 december 2026  [tag 0] (uit)\n    ---\n    1 week  [tag 0]\n"),
        result.out.npos)
        << result.out;
    const auto empty = keloFinder({"menu", "--kind", "toolbar", first});
    EXPECT_TRUE(empty.exitCode == 0 && empty.out.empty()) << empty.out;
}

// Names relative to the working folder, byte for byte, even below a folder whose whole path is
// longer than PATH_MAX; a failure exits with 1 and is one line on standard error, escaped.
TEST_F(KeloFinderCommand, PickTakesOddNamesByteForByteAndFailuresAreOneLine) {
    const std::vector<std::filesystem::path> odd = {folder.file("latin1-\xe9t\xe9\n.txt"),
                                                    folder.file("-begint-met-streepje")};
    Lines args = {"pick", "2", "--"};
    for (const auto &file : odd)
        args.push_back(file.filename());
    const auto result = keloFinder(args, folder.path());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const Calendar calendar = Calendar::forZone("Europe/Amsterdam");
    for (const auto &file : odd)
        EXPECT_EQ(readStamp(file, calendar),
                  expiryDate(Term::threeMonths, currentInstant(), calendar))
            << file;

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
    const auto failed = keloFinder({"pick", "3", "--", missing, first});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_TRUE(failed.err.starts_with("Kelo: could not update " + folder.path().string() +
                                       "/100%s%n\\nKelo: nep\\x01\\xff-\xc3\xa9.txt: "))
        << failed.err;
    EXPECT_EQ(std::count(failed.err.begin(), failed.err.end(), '\n'), 1) << failed.err;
    EXPECT_TRUE(readStamp(first));
}

TEST_F(KeloFinderCommand, UsageErrorsExitWithTwo) {
    // Each case's words; F stands for an existing file.
    for (const std::string line : {"", "pick 1x F", "pick 01 F", "pick 0", "menu F --kind"}) {
        Lines args;
        std::stringstream words(line);
        for (std::string word; words >> word;)
            args.push_back(word == "F" ? first.string() : word);
        const auto result = keloFinder(args);
        EXPECT_TRUE(result.exitCode == 2 && result.out.empty()) << ::testing::PrintToString(args);
    }
    EXPECT_FALSE(readStamp(first));
    const auto help = keloFinder({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("kelo-finder pick TAG [--] FILE..."), std::string::npos);
}
