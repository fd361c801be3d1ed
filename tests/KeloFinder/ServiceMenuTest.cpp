// The static menus of Dolphin and Nemo: every entry runs kelo-finder with the tag of the entry
// it is named after, and running it does what the entry says.

#include "ExpiryStamp.h"
#include "Subprocess.h"
#include "TemporaryFolder.h"
#include "Term.h"

#include <fstream>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

using namespace kelo;

namespace {

using Group = std::map<std::string, std::string>;

std::map<std::string, Group> readDesktopFile(const std::filesystem::path &file) {
    std::map<std::string, Group> groups;
    std::ifstream in(file);
    std::string group;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with('[') && line.ends_with(']'))
            group = line.substr(1, line.size() - 2);
        else if (const auto equals = line.find('='); !line.starts_with('#') && equals != line.npos)
            groups[group][line.substr(0, equals)] = line.substr(equals + 1);
    }
    return groups;
}

std::vector<std::string> split(const std::string &text, char separator) {
    std::vector<std::string> parts;
    std::stringstream stream(text);
    for (std::string part; std::getline(stream, part, separator);)
        if (!part.empty())
            parts.push_back(part);
    return parts;
}

// Each entry (name, Exec line) in order: the terms, then "Altijd houden"; run as the file
// manager would for one file, each stamps as its name says.
void checkEntriesRunAsNamed(const std::vector<std::pair<std::string, std::string>> &entries) {
    ASSERT_EQ(entries.size(), std::size(allTerms) + 1);
    TemporaryFolder folder;
    const auto file = folder.file("bestand.txt");
    const Calendar calendar = Calendar::current();
    for (size_t i = 0; i < entries.size(); ++i) {
        const auto &[name, exec] = entries[i];
        const std::optional<Term> term =
            i < std::size(allTerms) ? std::optional(allTerms[i]) : std::nullopt;
        EXPECT_EQ(name, term ? label(*term) : "Altijd houden");
        auto args = split(exec, ' ');
        EXPECT_EQ(args.front(), "kelo-finder");
        EXPECT_EQ(args.back(), "%F");
        args.front() = KELO_FINDER;
        args.back() = file;
        const auto result = runProcess(args);
        EXPECT_EQ(result.exitCode, 0) << exec << result.err;
        if (term)
            EXPECT_EQ(readStamp(file, calendar), expiryDate(*term, currentInstant(), calendar))
                << name;
        else
            EXPECT_FALSE(readStamp(file)) << name;
    }
}

} // namespace

TEST(ServiceMenu, DolphinSubmenuRunsEachEntryWithItsTag) {
    const auto desktop =
        readDesktopFile(KELO_SOURCE_DIR "/packaging/dolphin/wex.dorvel.Kelo.desktop");
    const auto &entry = desktop.at("Desktop Entry");
    EXPECT_EQ(entry.at("X-KDE-Submenu"), "Kelo");
    EXPECT_EQ(entry.at("X-KDE-Protocols"), "file");
    const auto actions = split(entry.at("Actions"), ';');
    ASSERT_EQ(actions.size(), 6u);
    EXPECT_EQ(actions[4], "_SEPARATOR_");
    std::vector<std::pair<std::string, std::string>> entries;
    for (const auto &action : actions)
        if (action != "_SEPARATOR_")
            entries.emplace_back(desktop.at("Desktop Action " + action).at("Name"),
                                 desktop.at("Desktop Action " + action).at("Exec"));
    checkEntriesRunAsNamed(entries);
}

TEST(ServiceMenu, NemoActionsRunEachEntryWithItsTagInOrder) {
    std::vector<std::filesystem::path> files;
    for (const auto &file : std::filesystem::directory_iterator(KELO_SOURCE_DIR "/packaging/nemo"))
        files.push_back(file.path());
    std::sort(files.begin(), files.end()); // Nemo lists actions by file name
    std::vector<std::pair<std::string, std::string>> entries;
    for (const auto &file : files) {
        const auto action = readDesktopFile(file).at("Nemo Action");
        ASSERT_TRUE(action.at("Name").starts_with("Kelo: "));
        entries.emplace_back(action.at("Name").substr(6), action.at("Exec"));
        EXPECT_EQ(action.at("Selection"), "notnone");
    }
    checkEntriesRunAsNamed(entries);
}
