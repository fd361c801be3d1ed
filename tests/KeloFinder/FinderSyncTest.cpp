// The extension's core, as every host calls it: the menu, and what picking an entry writes.
#include "FinderSync.h"

#include "ExpiryStamp.h"
#include "ScopedEnvironment.h"
#include "SelectionController.h"
#include "TagList.h"
#include "TemporaryFolder.h"
#include "Term.h"
#include "UnchangeableFile.h"

#include <sys/xattr.h>

#include <gtest/gtest.h>

using namespace kelo;
using Lines = std::vector<std::string>;

namespace {

class KeloFinderCore : public ::testing::Test {
protected:
    ScopedEnvironment locale{"LC_ALL", "nl_NL.UTF-8"}, language{"LANGUAGE", nullptr};
    ScopedEnvironment zone{"TZ", "Europe/Amsterdam"};
    TemporaryFolder folder;
    SelectionController controller;
    Lines log;
    FinderSync sync{controller, [this](std::string_view line) { log.emplace_back(line); }};

    // The file `name`, with these attribute values where they are not empty.
    std::filesystem::path file(const std::string &name, const std::string &stamp,
                               const std::string &tags = {}) {
        const auto path = folder.file(name);
        for (const auto &[attribute, value] :
             {std::pair{stampAttributeName, stamp}, std::pair{tagListAttributeName, tags}})
            EXPECT_TRUE(value.empty() ||
                        ::setxattr(path.c_str(), attribute, value.data(), value.size(), 0) == 0);
        return path;
    }
    int pick(int tag, std::vector<std::filesystem::path> items) {
        controller.select(std::move(items));
        MenuItem sender;
        sender.action = MenuAction::pick;
        sender.tag = tag;
        return sync.pick(sender);
    }
};

// Entries as "title tag", "off" when disabled, "-" a separator, submenus in braces.
std::string text(const Menu &menu) {
    std::string out;
    for (const auto &item : menu.items)
        out += (item.separator
                    ? "-"
                    : item.title + (item.enabled ? "" : " off") +
                          (item.action == MenuAction::pick ? " " + std::to_string(item.tag) : "") +
                          (item.submenu ? "{" + text(*item.submenu) + "}" : "")) +
               "|";
    return out;
}

} // namespace

// The date line only when every selected file carries the same stamp, written in the language
// of the menu whatever the locale's; only the menu for items.
TEST_F(KeloFinderCore, MenuShowsTheSharedDateTheTermsAndKeepForeverInTheUsersLanguage) {
    const std::string dutch = "1 week 0|1 maand 1|3 maanden 2|1 jaar 3|-|Altijd houden -1|}|",
                      english = "1 week 0|1 month 1|3 months 2|1 year 3|-|Keep Forever -1|}|";
    // LANGUAGE, LC_ALL, the date line and the terms.
    const std::tuple<const char *, const char *, std::string, std::string> cases[] = {
        {nullptr, "nl_NL.UTF-8", "Tot 5 december 2026", dutch},
        {"en", "nl_NL.UTF-8", "Until December 5, 2026", english},
        {nullptr, "en_GB.UTF-8", "Until 5 December 2026", english}};
    const auto menu = [this](std::vector<std::filesystem::path> items) {
        controller.select(std::move(items));
        return text(sync.menuForMenuKind(MenuKind::contextualMenuForItems));
    };
    const auto a = file("a", "2026-12-05"), b = file("b", "2026-12-05"), c = file("c", "");
    for (const auto &[languages, all, until, terms] : cases) {
        ScopedEnvironment useLanguages("LANGUAGE", languages), useLocale("LC_ALL", all);
        EXPECT_EQ(menu({a, b}), "Kelo{" + until + " off|-|" + terms);
        EXPECT_EQ(menu({a, c}), "Kelo{" + terms);
    }
    for (const auto kind : {MenuKind::contextualMenuForContainer,
                            MenuKind::contextualMenuForSidebar, MenuKind::toolbarItemMenu})
        EXPECT_TRUE(sync.menuForMenuKind(kind).items.empty());
}

TEST_F(KeloFinderCore, PickStampsEveryFileOrClearsItKeepingOtherTags) {
    const auto first = file("een", "", "Werk");
    const auto second = file("twee", "2026-12-05");
    EXPECT_EQ(pick(1, {first, second}), 0);
    const Calendar calendar = Calendar::current();
    for (const auto &item : {first, second})
        EXPECT_EQ(readStamp(item, calendar), expiryDate(Term::month, currentInstant(), calendar));
    EXPECT_EQ(readTagNames(first).value(), (Lines{"Werk", "Kelo"}));
    EXPECT_EQ(pick(-1, {first}), 0);
    EXPECT_FALSE(readStamp(first));
    EXPECT_EQ(readTagNames(first).value(), Lines{"Werk"});
    EXPECT_TRUE(readStamp(second) && log.empty());
}

// A tag no entry has, a symbolic link and a file that cannot change are refused (the link with
// one log line); the other files are handled all the same.
TEST_F(KeloFinderCore, RefusalsAreLoggedAndTheOtherFilesHandled) {
    const auto first = file("een", "");
    for (const int tag : {4, -2}) {
        EXPECT_NE(pick(tag, {first}), 0) << tag;
        EXPECT_FALSE(readStamp(first));
    }

    const auto target = file("doel", "2026-12-05");
    const auto link = folder.path() / "snelkoppeling";
    std::filesystem::create_symlink(target, link);
    const auto second = file("twee", "");
    log.clear();
    EXPECT_EQ(pick(1, {first, link, second}), 1);
    EXPECT_EQ(log.size(), 1u);
    EXPECT_TRUE(readStamp(first) && readStamp(second));
    EXPECT_EQ(readStamp(target), Calendar::current().parseStampText("2026-12-05"));

    const auto locked = file("vast", "");
    const UnchangeableFile unchangeable(locked);
    if (!unchangeable.ok())
        GTEST_SKIP() << "cannot make a file unchangeable here";
    EXPECT_EQ(pick(0, {first, locked, second}), 1);
    EXPECT_TRUE(readStamp(first) && readStamp(second) && !readStamp(locked));
    // Keeping forever a file without a stamp has nothing to write, so nothing to fail.
    EXPECT_EQ(pick(-1, {locked}), 0);
}
