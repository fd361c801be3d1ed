// Kelo's menu per file manager: what the dialog reports, and the menus it installs for the user.
#include "FileManagerIntegration.h"

#include "ExpiryStamp.h"
#include "ScopedEnvironment.h"
#include "Subprocess.h"
#include "TemporaryFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using kelo::FileManager;
using kelo::FileManagerIntegration;

namespace {

// A private world: a PATH with only a do-nothing dolphin on it, the user's and the system's data
// folders, and the extension folders of the file managers that load a module.
class IntegrationTest : public ::testing::Test {
protected:
    TemporaryFolder root;
    ScopedEnvironment path{"PATH", (root.path() / "bin").c_str()};
    kelo::IntegrationPlaces places{QString::fromStdString(root.path() / "home"),
                                   {QString::fromStdString(root.path() / "system")},
                                   QString::fromStdString(root.path() / "nautilus"),
                                   QStringLiteral(KELO_FINDER)};
    const fs::path dolphinMenu = root.path() / "home/kio/servicemenus/wex.dorvel.Kelo.desktop";
    const fs::path nemoActions = root.path() / "home/nemo/actions";

    IntegrationTest() {
        places.nemoExtensionDir = QString::fromStdString(root.path() / "nemo");
        places.thunarExtensionDir = QString::fromStdString(root.path() / "thunar");
        places.cajaExtensionDir = QString::fromStdString(root.path() / "caja");
        fs::create_directories(root.path() / "bin");
        std::ofstream(root.path() / "bin/dolphin") << "#!/bin/sh\n";
        fs::permissions(root.path() / "bin/dolphin", fs::perms::owner_all);
    }
};

// Installed, for everyone, for the user, installable for the user.
using Flags = std::array<bool, 4>;
Flags flags(const kelo::FileManagerState &state) {
    return {state.installed, state.systemWide, state.forUser, state.userInstallable};
}

TEST_F(IntegrationTest, StatesFollowTheProgramsAndTheMenuFolders) {
    const FileManagerIntegration integration(places);
    EXPECT_EQ(flags(integration.state(FileManager::dolphin)), (Flags{true, false, false, true}));
    EXPECT_EQ(flags(integration.state(FileManager::nautilus)), (Flags{false, false, false, false}));
    // Nemo's actions in a system folder are not the package's menu: that is the module.
    fs::create_directories(root.path() / "system/nemo/actions");
    std::ofstream(root.path() / "system/nemo/actions/wex.dorvel.Kelo.1-week.nemo_action") << "x";
    EXPECT_EQ(flags(integration.state(FileManager::nemo)), (Flags{false, false, false, true}));
    // From the packages: each module in its file manager's folder turns on that one alone. Only
    // Nemo also reads menus that a user installs.
    const std::tuple<FileManager, const char *, bool> modules[] = {
        {FileManager::nautilus, "nautilus/libkelo-nautilus.so", false},
        {FileManager::nemo, "nemo/libkelo-nemo.so", true},
        {FileManager::thunar, "thunar/libkelo-thunar.so", false},
        {FileManager::caja, "caja/libkelo-caja.so", false}};
    int on = 0;
    for (const auto &[fileManager, module, userInstallable] : modules) {
        const auto name = FileManagerIntegration::programName(fileManager).toStdString();
        EXPECT_EQ(flags(integration.state(fileManager)),
                  (Flags{false, false, false, userInstallable}))
            << name;
        // A folder by the module's name is not a module.
        fs::create_directories(root.path() / module);
        EXPECT_FALSE(integration.state(fileManager).systemWide) << name;
        fs::remove(root.path() / module);
        std::ofstream(root.path() / module) << "module";
        ++on;
        for (const FileManager other : FileManagerIntegration::all())
            EXPECT_EQ(integration.state(other).systemWide,
                      std::any_of(modules, modules + on,
                                  [other](const auto &row) { return std::get<0>(row) == other; }))
                << name << " on; " << FileManagerIntegration::programName(other).toStdString();
    }
    // The user's own folder listed among the system ones is still the user's.
    ASSERT_EQ(integration.installForUser(FileManager::dolphin), std::nullopt);
    auto homeAmongSystem = places;
    homeAmongSystem.dataDirs.prepend(places.dataHome);
    EXPECT_EQ(flags(FileManagerIntegration(homeAmongSystem).state(FileManager::dolphin)),
              (Flags{true, false, true, true}));
}

// Each menu runs kelo-finder from a folder whose name needs quoting in a command, the way a file
// manager runs it for one selected file: the Exec value's own escapes undone, %F replaced by the
// quoted path, the words split by the shell.
TEST_F(IntegrationTest, InstalledMenusRunKeloFinderFromAnyFolderAndComeOutAgain) {
    const fs::path programs = root.path() / "my \"own\" $programs";
    fs::create_directories(programs);
    fs::copy_file(KELO_FINDER, programs / "kelo-finder");
    places.keloFinder = QString::fromStdString(programs / "kelo-finder");
    const FileManagerIntegration integration(places);
    const fs::path other = dolphinMenu.parent_path() / "other.desktop";
    fs::create_directories(other.parent_path());
    std::ofstream(other) << "someone else's";
    ASSERT_EQ(integration.installForUser(FileManager::dolphin), std::nullopt);
    ASSERT_EQ(integration.installForUser(FileManager::nemo), std::nullopt);
    // Dolphin runs only executable service menus.
    EXPECT_NE(fs::status(dolphinMenu).permissions() & fs::perms::owner_exec, fs::perms::none);
    EXPECT_EQ(std::distance(fs::directory_iterator(nemoActions), {}), 5);

    const fs::path file = root.path() / "rapport.pdf";
    std::ofstream(file) << "data";
    const std::tuple<fs::path, std::string, bool> runs[] = {
        {dolphinMenu, "[Desktop Action week]", true},
        {dolphinMenu, "[Desktop Action keepForever]", false},
        {nemoActions / "wex.dorvel.Kelo.4-year.nemo_action", "[Nemo Action]", true}};
    for (const auto &[menu, group, stamped] : runs) {
        std::ifstream in(menu);
        std::string line, section, exec;
        while (std::getline(in, line))
            if (line.starts_with('['))
                section = line;
            else if (section == group && line.starts_with("Exec="))
                exec = line.substr(5);
        std::string command;
        for (size_t i = 0; i < exec.size(); ++i)
            command += exec[i] == '\\' && exec[i + 1] == '\\' ? exec[++i] : exec[i];
        ASSERT_NE(command.rfind("%F"), std::string::npos) << group << ": " << exec;
        command.replace(command.rfind("%F"), 2, "'" + file.string() + "'");
        const auto ran = runProcess({"/bin/sh", "-c", command});
        EXPECT_EQ(ran.exitCode, 0) << group << ": " << ran.err;
        EXPECT_EQ(kelo::readStamp(file).has_value(), stamped) << group;
    }

    ASSERT_EQ(integration.removeForUser(FileManager::dolphin), std::nullopt);
    ASSERT_EQ(integration.removeForUser(FileManager::nemo), std::nullopt);
    EXPECT_FALSE(fs::exists(dolphinMenu));
    EXPECT_TRUE(fs::is_empty(nemoActions));
    EXPECT_TRUE(fs::exists(other));
}

// Without the program, or when the fourth of Nemo's five actions cannot be written, the install
// says why and leaves nothing behind.
TEST_F(IntegrationTest, AFailedInstallSaysWhyAndLeavesNothing) {
    auto withoutProgram = places;
    withoutProgram.keloFinder.clear();
    EXPECT_NE(FileManagerIntegration(withoutProgram).installForUser(FileManager::dolphin),
              std::nullopt);
    EXPECT_FALSE(fs::exists(dolphinMenu));
    fs::create_directories(nemoActions / "wex.dorvel.Kelo.4-year.nemo_action/inside");
    const auto error = FileManagerIntegration(places).installForUser(FileManager::nemo);
    ASSERT_NE(error, std::nullopt);
    EXPECT_TRUE(error->contains(QStringLiteral("4-year"))) << error->toStdString();
    EXPECT_EQ(std::distance(fs::directory_iterator(nemoActions), {}), 1);
}

} // namespace
