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
#include <fstream>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

using namespace kelo;
using Lines = std::vector<std::string>;

namespace {

// kelo-finder in a Dutch locale in Amsterdam, started in `folder`, speaking `language`. The shell
// lets these settings win over the same names in the test's own environment.
ProcessResult keloFinder(std::vector<std::string> args, const std::string &folder = "/",
                         const std::string &language = "nl") {
    args.insert(args.begin(), {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", folder, KELO_FINDER});
    return runProcess(args, {"LANGUAGE=" + language, "LC_ALL=nl_NL.UTF-8", "TZ=Europe/Amsterdam"});
}

// The menu's entries by tag, as `kelo-finder menu` prints them in `language`.
std::map<int, std::string> menuTitles(const std::string &file, const std::string &language) {
    std::map<int, std::string> titles;
    std::stringstream lines(keloFinder({"menu", file}, "/", language).out);
    for (std::string line; std::getline(lines, line);) {
        const auto tag = line.find("  [tag ");
        if (tag != line.npos && line.starts_with("    "))
            titles[std::stoi(line.substr(tag + 7))] = line.substr(4, tag - 4);
    }
    return titles;
}

class KeloFinderCommand : public ::testing::Test {
protected:
    TemporaryFolder folder;
    std::filesystem::path first = folder.file("een.txt");
};

} // namespace

// The menu a line an entry, indented by depth, with its tag, in the user's language with the
// date in it too; --kind names the menu.
TEST_F(KeloFinderCommand, MenuPrintsTheEntriesWithTheirTagsAndKindsPickTheMenu) {
    ASSERT_EQ(::setxattr(first.c_str(), stampAttributeName, "2026-12-05", 10, 0), 0);
    for (const auto &[language, expected] :
         {std::pair{"nl", "\n    Tot 5 december 2026  [tag 0] (uit)\n    ---\n    1 week  [tag "
                          "0]\n    1 maand  [tag 1]\n"},
          std::pair{"en", "\n    Until December 5, 2026  [tag 0] (off)\n    ---\n    1 week  [tag "
                          "0]\n    1 month  [tag 1]\n"}}) {
        const auto result = keloFinder({"menu", "--kind", "items", first}, "/", language);
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_NE(result.out.find(expected), result.out.npos) << result.out;
    }
    const auto empty = keloFinder({"menu", "--kind", "toolbar", first});
    EXPECT_TRUE(empty.exitCode == 0 && empty.out.empty()) << empty.out;
}

// The static menus of Dolphin and Nemo say what kelo-finder's menu says for the tag each entry
// picks: English by default, Dutch under [nl].
TEST_F(KeloFinderCommand, StaticMenusNameTheirEntriesAsTheMenuDoes) {
    const auto english = menuTitles(first, "en"), dutch = menuTitles(first, "nl");
    ASSERT_EQ(english.size(), 5u);
    const std::filesystem::path packaging = KELO_SOURCE_DIR "/packaging";
    std::vector<std::pair<std::filesystem::path, std::string>> files = {
        {packaging / "dolphin/wex.dorvel.Kelo.desktop", ""}};
    for (const auto &entry : std::filesystem::directory_iterator(packaging / "nemo"))
        files.emplace_back(entry.path(), "Kelo: ");
    int entries = 0;
    for (const auto &[path, prefix] : files) {
        // Each group's keys, checked when its Exec line names the tag.
        std::map<std::string, std::string> keys;
        std::ifstream in(path);
        for (std::string line; std::getline(in, line);) {
            const auto equals = line.find('=');
            if (line.starts_with('['))
                keys.clear();
            else if (equals != line.npos)
                keys[line.substr(0, equals)] = line.substr(equals + 1);
            if (!line.starts_with("Exec=kelo-finder pick "))
                continue;
            const int tag = std::stoi(line.substr(22));
            ++entries;
            EXPECT_EQ(keys["Name"], prefix + english.at(tag)) << path;
            EXPECT_EQ(keys["Name[en]"], prefix + english.at(tag)) << path;
            EXPECT_EQ(keys["Name[nl]"], prefix + dutch.at(tag)) << path;
        }
    }
    EXPECT_EQ(entries, 10);
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
    const auto help = keloFinder({"--help"}, "/", "en");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("kelo-finder pick TAG [--] FILE..."), std::string::npos);
    EXPECT_NE(help.out.find("  1  1 month      2  3 months"), std::string::npos) << help.out;
}
