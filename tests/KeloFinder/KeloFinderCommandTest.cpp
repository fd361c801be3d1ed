#include "ExpiryStamp.h"
#include "Subprocess.h"
#include "TagList.h"
#include "TemporaryFolder.h"
#include "Term.h"
#include "UnchangeableFile.h"

#include <sys/xattr.h>

#include <gtest/gtest.h>

using namespace kelo;

namespace {

const std::vector<std::string> dutchAmsterdam = {"LC_ALL=nl_NL.UTF-8", "TZ=Europe/Amsterdam"};

ProcessResult keloFinder(std::vector<std::string> args) {
    args.insert(args.begin(), KELO_FINDER);
    return runProcess(args, dutchAmsterdam);
}

void setAttribute(const std::filesystem::path &file, const char *name, std::string_view value) {
    ASSERT_EQ(::setxattr(file.c_str(), name, value.data(), value.size(), 0), 0);
}

std::vector<std::string> lines(const std::string &text) {
    std::vector<std::string> out;
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
}

TEST_F(KeloFinderCommand, MenuHasNoUntilLineUnlessEveryFileSharesTheStamp) {
    setAttribute(second, stampAttributeName, "2026-12-05");
    for (const auto &files : {std::vector<std::string>{first, second},    // first unstamped
                              std::vector<std::string>{second, first}}) { // one unstamped
        const auto menu = lines(keloFinder({"menu", files[0], files[1]}).out);
        ASSERT_GE(menu.size(), 2u);
        EXPECT_EQ(menu[1], "    1 week  [tag 0]");
    }
    setAttribute(first, stampAttributeName, "2026-12-06");
    EXPECT_EQ(lines(keloFinder({"menu", first, second}).out)[1], "    1 week  [tag 0]");
}

TEST_F(KeloFinderCommand, OtherMenuKindsAreEmpty) {
    for (const char *kind : {"container", "sidebar", "toolbar"}) {
        const auto result = keloFinder({"menu", "--kind", kind, first});
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.out, "") << kind;
    }
}

TEST_F(KeloFinderCommand, PickStampsEveryFileWithTheSameDay) {
    const auto third = folder.file("drie.txt");
    setAttribute(third, tagListAttributeName, "Werk");
    const auto result = keloFinder({"pick", "1", first, second, third});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const Calendar calendar = Calendar::forZone("Europe/Amsterdam");
    const auto expected = expiryDate(Term::month, currentInstant(), calendar);
    for (const auto &file : {first, second, third})
        EXPECT_EQ(readStamp(file, calendar), expected) << file;
    EXPECT_EQ(readTagNames(third).value(), (std::vector<std::string>{"Werk", "Kelo"}));
}

TEST_F(KeloFinderCommand, KeepForeverClearsTheStampAndKeepsOtherTags) {
    setAttribute(first, stampAttributeName, "2026-12-05");
    setAttribute(first, tagListAttributeName, "Werk,Kelo,Thuis");
    const auto result = keloFinder({"pick", "-1", first});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_FALSE(readStamp(first));
    EXPECT_EQ(readTagNames(first).value(), (std::vector<std::string>{"Werk", "Thuis"}));
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
    EXPECT_EQ(logged[0].rfind("Kelo: could not update " + locked.string() + ": ", 0), 0u)
        << logged[0];
    EXPECT_TRUE(readStamp(first));
    EXPECT_TRUE(readStamp(second));
    EXPECT_FALSE(readStamp(locked));
}

TEST_F(KeloFinderCommand, OddFileNamesAreStampedByteForByte) {
    const std::vector<std::filesystem::path> odd = {
        folder.file("latin1-\xe9t\xe9.txt"), folder.file("twee\nregels.txt"),
        folder.file("-begint-met-streepje"), folder.file("100%s %n procent.txt")};
    std::vector<std::string> args = {"pick", "2", "--"};
    for (const auto &file : odd)
        args.push_back(file.filename()); // relative: the command resolves them
    const auto result = runProcess(
        [&] {
            std::vector<std::string> full = {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"",
                                             folder.path(), KELO_FINDER};
            full.insert(full.end(), args.begin(), args.end());
            return full;
        }(),
        dutchAmsterdam);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    for (const auto &file : odd)
        EXPECT_TRUE(readStamp(file)) << file;
}

TEST_F(KeloFinderCommand, FailureLinesAreOneLineAndNeverFormatted) {
    const auto missing = folder.path() / "100%s%n\nKelo: nep.txt";
    const auto result = keloFinder({"pick", "3", "--", missing});
    EXPECT_EQ(result.exitCode, 1);
    const auto logged = lines(result.err);
    ASSERT_EQ(logged.size(), 1u) << result.err;
    EXPECT_NE(logged[0].find("100%s%n\\nKelo: nep.txt: "), std::string::npos) << logged[0];
}

TEST_F(KeloFinderCommand, UsageErrorsExitWithTwo) {
    for (const auto &args :
         std::vector<std::vector<std::string>>{{},
                                               {"pick", "week", first},
                                               {"pick", "1x", first},
                                               {"pick", "4", first},
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
    EXPECT_FALSE(readStamp(first));
    const auto help = keloFinder({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("kelo-finder pick TAG [--] FILE..."), std::string::npos);
}
