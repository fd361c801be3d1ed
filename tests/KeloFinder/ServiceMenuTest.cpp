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
using DesktopFile = std::map<std::string, Group>;

DesktopFile readDesktopFile(const std::filesystem::path &file) {
    DesktopFile groups;
    std::ifstream in(file);
    std::string line, group;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        if (line.front() == '[' && line.back() == ']') {
            group = line.substr(1, line.size() - 2);
            continue;
        }
        const auto equals = line.find('=');
        if (equals != std::string::npos)
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

struct Entry {
    std::string name;
    std::string exec;
};

// The menu as the user reads it: terms in order, then "Altijd houden".
std::vector<std::pair<std::string, int>> expectedEntries() {
    std::vector<std::pair<std::string, int>> entries;
    for (const Term term : allTerms)
        entries.emplace_back(label(term), static_cast<int>(term));
    entries.emplace_back("Altijd houden", -1);
    return entries;
}

// Runs an Exec line as the file manager would for one file.
ProcessResult runExec(const std::string &exec, const std::filesystem::path &file) {
    auto args = split(exec, ' ');
    EXPECT_EQ(args.front(), "kelo-finder");
    EXPECT_EQ(args.back(), "%F");
    args.front() = KELO_FINDER;
    args.back() = file;
    return runProcess(args);
}

void checkEntriesRunAsNamed(const std::vector<Entry> &entries) {
    const auto expected = expectedEntries();
    ASSERT_EQ(entries.size(), expected.size());
    TemporaryFolder folder;
    const auto file = folder.file("bestand.txt");
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].name, expected[i].first);
        const auto result = runExec(entries[i].exec, file);
        EXPECT_EQ(result.exitCode, 0) << entries[i].exec << result.err;
        if (const auto term = termFromRaw(expected[i].second)) {
            const Calendar calendar = Calendar::current();
            EXPECT_EQ(readStamp(file, calendar), expiryDate(*term, currentInstant(), calendar))
                << entries[i].name;
        } else {
            EXPECT_FALSE(readStamp(file)) << entries[i].name;
        }
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
    std::vector<Entry> entries;
    for (const auto &action : actions)
        if (action != "_SEPARATOR_")
            entries.push_back({desktop.at("Desktop Action " + action).at("Name"),
                               desktop.at("Desktop Action " + action).at("Exec")});
    checkEntriesRunAsNamed(entries);
}

TEST(ServiceMenu, NemoActionsRunEachEntryWithItsTagInOrder) {
    std::vector<std::filesystem::path> files;
    for (const auto &file : std::filesystem::directory_iterator(KELO_SOURCE_DIR "/packaging/nemo"))
        files.push_back(file.path());
    std::sort(files.begin(), files.end()); // Nemo lists actions by file name
    std::vector<Entry> entries;
    for (const auto &file : files) {
        const auto action = readDesktopFile(file).at("Nemo Action");
        ASSERT_EQ(action.at("Name").rfind("Kelo: ", 0), 0u);
        entries.push_back({action.at("Name").substr(6), action.at("Exec")});
        EXPECT_EQ(action.at("Selection"), "notnone");
    }
    checkEntriesRunAsNamed(entries);
}
