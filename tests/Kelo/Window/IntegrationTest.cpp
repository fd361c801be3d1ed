// Kelo's menu per file manager: what the dialog reports, and the menus it installs for the user.
#include "FileManagerIntegration.h"
#include "IntegrationDialog.h"

#include "ExpiryStamp.h"
#include "ScopedEnvironment.h"
#include "Subprocess.h"
#include "TemporaryFolder.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using kelo::FileManager;
using kelo::FileManagerIntegration;

namespace {

// A private world: a PATH with only the programs a test puts there, the user's and the system's
// data folders, and Nautilus's extension folder.
class IntegrationTest : public ::testing::Test {
protected:
    TemporaryFolder root;
    ScopedEnvironment path{"PATH", (root.path() / "bin").c_str()};
    kelo::IntegrationPlaces places{QString::fromStdString(root.path() / "home"),
                                   {QString::fromStdString(root.path() / "system")},
                                   QString::fromStdString(root.path() / "nautilus"),
                                   QStringLiteral(KELO_FINDER)};
    const fs::path dolphinMenu = root.path() / "home/kio/servicemenus/wex.dorvel.Kelo.desktop";

    // A program on PATH that does nothing.
    void addProgram(const std::string &name) {
        fs::create_directories(root.path() / "bin");
        std::ofstream(root.path() / "bin" / name) << "#!/bin/sh\n";
        fs::permissions(root.path() / "bin" / name, fs::perms::owner_all);
    }
};

// Installed, for everyone, for the user, installable for the user.
std::array<bool, 4> flags(const kelo::FileManagerState &state) {
    return {state.installed, state.systemWide, state.forUser, state.userInstallable};
}

TEST_F(IntegrationTest, StatesFollowTheProgramsAndTheMenuFolders) {
    addProgram("dolphin");
    const FileManagerIntegration integration(places);
    using Flags = std::array<bool, 4>;
    EXPECT_EQ(flags(integration.state(FileManager::dolphin)), (Flags{true, false, false, true}));
    EXPECT_EQ(flags(integration.state(FileManager::nautilus)), (Flags{false, false, false, false}));
    EXPECT_FALSE(integration.state(FileManager::nemo).installed);

    // From the package: the Nautilus module and Nemo's actions in the system folders.
    fs::create_directories(root.path() / "nautilus");
    std::ofstream(root.path() / "nautilus/libkelo-nautilus.so") << "module";
    fs::create_directories(root.path() / "system/nemo/actions");
    std::ofstream(root.path() / "system/nemo/actions/wex.dorvel.Kelo.1-week.nemo_action") << "x";
    EXPECT_TRUE(integration.state(FileManager::nautilus).systemWide);
    EXPECT_EQ(flags(integration.state(FileManager::nemo)), (Flags{false, true, false, true}));
    EXPECT_FALSE(integration.state(FileManager::dolphin).systemWide);

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
    EXPECT_TRUE(integration.state(FileManager::dolphin).forUser);
    EXPECT_TRUE(integration.state(FileManager::nemo).forUser);
    // Dolphin runs only executable service menus.
    EXPECT_NE(fs::status(dolphinMenu).permissions() & fs::perms::owner_exec, fs::perms::none);

    const fs::path nemoActions = root.path() / "home/nemo/actions";
    int actions = 0;
    for (const auto &action : fs::directory_iterator(nemoActions)) {
        ++actions;
        std::ifstream in(action.path());
        const std::string text(std::istreambuf_iterator<char>(in), {});
        EXPECT_NE(text.find("\nExec=\"" + root.path().string()), std::string::npos) << text;
    }
    EXPECT_EQ(actions, 5);
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
    EXPECT_EQ(integration.removeForUser(FileManager::nemo), std::nullopt) << "nothing to remove";
}

TEST_F(IntegrationTest, AFailedInstallSaysWhyAndLeavesNothing) {
    auto withoutProgram = places;
    withoutProgram.keloFinder.clear();
    EXPECT_NE(FileManagerIntegration(withoutProgram).installForUser(FileManager::dolphin),
              std::nullopt);
    EXPECT_FALSE(fs::exists(dolphinMenu));
    EXPECT_NE(FileManagerIntegration(places).installForUser(FileManager::nautilus), std::nullopt);

    // The fourth of Nemo's five actions cannot be written: the three before it go again.
    const fs::path actions = root.path() / "home/nemo/actions";
    fs::create_directories(actions / "wex.dorvel.Kelo.4-year.nemo_action/inside");
    const auto error = FileManagerIntegration(places).installForUser(FileManager::nemo);
    ASSERT_NE(error, std::nullopt);
    EXPECT_TRUE(error->contains(QStringLiteral("4-year"))) << error->toStdString();
    EXPECT_EQ(std::distance(fs::directory_iterator(actions), {}), 1)
        << "only the folder in the way";
}

TEST_F(IntegrationTest, TheDialogSwitchesTheUsersMenuOnAndOff) {
    addProgram("dolphin");
    std::vector<QString> errors;
    kelo::IntegrationDialog dialog(FileManagerIntegration(places), nullptr,
                                   [&](const QString &error) { errors.push_back(error); });
    dialog.show();
    auto *dolphin = dialog.findChild<QPushButton *>(QStringLiteral("toggle-dolphin"));
    auto *dolphinStatus = dialog.findChild<QLabel *>(QStringLiteral("status-dolphin"));
    auto *nautilus = dialog.findChild<QPushButton *>(QStringLiteral("toggle-nautilus"));
    auto *nemoStatus = dialog.findChild<QLabel *>(QStringLiteral("status-nemo"));
    ASSERT_TRUE(dolphin && dolphinStatus && nautilus && nemoStatus);
    EXPECT_FALSE(nautilus->isVisible()) << "Nautilus's menu comes only from the package";
    EXPECT_EQ(dolphinStatus->text(), QStringLiteral("Menu staat uit"));
    EXPECT_EQ(nemoStatus->text(), QStringLiteral("Menu staat uit\nNiet gevonden op deze computer"));
    EXPECT_EQ(dolphin->text(), QStringLiteral("Aanzetten"));

    QTest::mouseClick(dolphin, Qt::LeftButton);
    EXPECT_TRUE(fs::exists(dolphinMenu));
    EXPECT_EQ(dolphinStatus->text(), QStringLiteral("Menu staat aan voor jou"));
    EXPECT_EQ(dolphin->text(), QStringLiteral("Uitzetten"));

    QTest::mouseClick(dolphin, Qt::LeftButton);
    EXPECT_FALSE(fs::exists(dolphinMenu));
    EXPECT_EQ(dolphin->text(), QStringLiteral("Aanzetten"));
    EXPECT_TRUE(errors.empty());

    // Where the user's folder cannot hold the menu, the reason is reported.
    fs::remove_all(dolphinMenu.parent_path());
    std::ofstream(dolphinMenu.parent_path()) << "a file, not a folder";
    QTest::mouseClick(dolphin, Qt::LeftButton);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(dolphin->text(), QStringLiteral("Aanzetten"));
}

} // namespace
