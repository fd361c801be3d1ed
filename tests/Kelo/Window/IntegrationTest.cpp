// Kelo's menu per file manager: what the dialog reports, and the menus it installs for the user.
#include "FileManagerIntegration.h"
#include "IntegrationDialog.h"

#include "ExpiryStamp.h"
#include "ScopedEnvironment.h"
#include "Subprocess.h"
#include "TemporaryFolder.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace fs = std::filesystem;
using kelo::FileManager;
using kelo::FileManagerIntegration;

namespace {

// A private world: a PATH with only the programs a test puts there, the user's and the system's
// data folders, and Nautilus's extension folder.
class IntegrationTest : public ::testing::Test {
protected:
    IntegrationTest() : m_path("PATH", (m_root.path() / "bin").c_str()) {
        fs::create_directories(m_root.path() / "bin");
        places.dataHome = QString::fromStdString(m_root.path() / "home");
        places.dataDirs = {QString::fromStdString(m_root.path() / "system")};
        places.nautilusExtensionDir = QString::fromStdString(m_root.path() / "nautilus");
        places.keloFinder = QStringLiteral(KELO_FINDER);
    }

    void addProgram(const std::string &name) {
        const fs::path program = m_root.path() / "bin" / name;
        std::ofstream(program) << "#!/bin/sh\n";
        fs::permissions(program, fs::perms::owner_all);
    }
    fs::path root() const { return m_root.path(); }
    fs::path userFile(const std::string &relative) const { return root() / "home" / relative; }

    kelo::IntegrationPlaces places;

private:
    TemporaryFolder m_root;
    ScopedEnvironment m_path;
};

const std::string dolphinMenu = "kio/servicemenus/wex.dorvel.Kelo.desktop";

std::string contents(const fs::path &file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The Exec values of a menu file, by group.
std::map<std::string, std::string> execLines(const fs::path &file) {
    std::map<std::string, std::string> lines;
    std::istringstream in(contents(file));
    std::string line, group;
    while (std::getline(in, line)) {
        if (line.starts_with('['))
            group = line;
        else if (line.starts_with("Exec="))
            lines[group] = line.substr(5);
    }
    return lines;
}

// Runs an Exec value the way a file manager does for one selected file: the value's own escapes
// undone, %F replaced by the quoted path, the words split by shell quoting rules.
ProcessResult runExec(std::string exec, const fs::path &file) {
    std::string unescaped;
    for (size_t i = 0; i < exec.size(); ++i) {
        if (exec[i] == '\\' && i + 1 < exec.size() && exec[i + 1] == '\\')
            ++i;
        unescaped += exec[i];
    }
    const size_t field = unescaped.rfind("%F");
    EXPECT_NE(field, std::string::npos) << exec;
    unescaped.replace(field, 2, "'" + file.string() + "'");
    return runProcess({"/bin/sh", "-c", unescaped});
}

TEST_F(IntegrationTest, StatesFollowTheProgramsAndTheMenuFolders) {
    addProgram("dolphin");
    const FileManagerIntegration integration(places);

    const auto dolphin = integration.state(FileManager::dolphin);
    EXPECT_TRUE(dolphin.installed);
    EXPECT_TRUE(dolphin.userInstallable);
    EXPECT_FALSE(dolphin.systemWide);
    EXPECT_FALSE(dolphin.forUser);
    const auto nautilus = integration.state(FileManager::nautilus);
    EXPECT_FALSE(nautilus.installed);
    EXPECT_FALSE(nautilus.userInstallable);
    EXPECT_FALSE(nautilus.systemWide);
    EXPECT_FALSE(integration.state(FileManager::nemo).installed);

    // From the package: the Nautilus module and Nemo's actions in the system folders.
    fs::create_directories(root() / "nautilus");
    std::ofstream(root() / "nautilus" / "libkelo-nautilus.so") << "module";
    fs::create_directories(root() / "system/nemo/actions");
    std::ofstream(root() / "system/nemo/actions/wex.dorvel.Kelo.1-week.nemo_action") << "x";
    EXPECT_TRUE(integration.state(FileManager::nautilus).systemWide);
    EXPECT_TRUE(integration.state(FileManager::nemo).systemWide);
    EXPECT_FALSE(integration.state(FileManager::nemo).forUser);
    EXPECT_FALSE(integration.state(FileManager::dolphin).systemWide);

    // The user's own folder listed among the system ones is still the user's.
    ASSERT_EQ(integration.installForUser(FileManager::dolphin), std::nullopt);
    auto homeAmongSystem = places;
    homeAmongSystem.dataDirs.prepend(places.dataHome);
    const auto both = FileManagerIntegration(homeAmongSystem).state(FileManager::dolphin);
    EXPECT_TRUE(both.forUser);
    EXPECT_FALSE(both.systemWide);
}

TEST_F(IntegrationTest, InstalledMenusRunKeloFinderFromAnyFolderAndComeOutAgain) {
    // kelo-finder in a folder whose name needs quoting in a command.
    const fs::path programs = root() / "my \"own\" $programs";
    fs::create_directories(programs);
    fs::copy_file(KELO_FINDER, programs / "kelo-finder");
    places.keloFinder = QString::fromStdString(programs / "kelo-finder");
    const FileManagerIntegration integration(places);
    fs::create_directories(userFile("kio/servicemenus"));
    std::ofstream(userFile("kio/servicemenus/other.desktop")) << "someone else's";

    ASSERT_EQ(integration.installForUser(FileManager::dolphin), std::nullopt);
    ASSERT_EQ(integration.installForUser(FileManager::nemo), std::nullopt);
    EXPECT_TRUE(integration.state(FileManager::dolphin).forUser);
    EXPECT_TRUE(integration.state(FileManager::nemo).forUser);
    // Dolphin runs only executable service menus.
    EXPECT_NE(fs::status(userFile(dolphinMenu)).permissions() & fs::perms::owner_exec,
              fs::perms::none);

    const auto dolphin = execLines(userFile(dolphinMenu));
    ASSERT_EQ(dolphin.size(), 5u);
    const fs::path file = root() / "rapport.pdf";
    std::ofstream(file) << "data";
    const auto week = runExec(dolphin.at("[Desktop Action week]"), file);
    EXPECT_EQ(week.exitCode, 0) << week.err;
    EXPECT_TRUE(kelo::readStamp(file).has_value());
    const auto keep = runExec(dolphin.at("[Desktop Action keepForever]"), file);
    EXPECT_EQ(keep.exitCode, 0) << keep.err;
    EXPECT_FALSE(kelo::readStamp(file).has_value());

    size_t nemoActions = 0;
    for (const auto &entry : fs::directory_iterator(userFile("nemo/actions"))) {
        ++nemoActions;
        const auto exec = execLines(entry.path()).at("[Nemo Action]");
        EXPECT_TRUE(exec.starts_with("\"" + programs.string().substr(0, 8))) << exec;
    }
    EXPECT_EQ(nemoActions, 5u);
    const auto nemoYear = runExec(
        execLines(userFile("nemo/actions/wex.dorvel.Kelo.4-year.nemo_action")).at("[Nemo Action]"),
        file);
    EXPECT_EQ(nemoYear.exitCode, 0) << nemoYear.err;
    EXPECT_TRUE(kelo::readStamp(file).has_value());

    ASSERT_EQ(integration.removeForUser(FileManager::dolphin), std::nullopt);
    ASSERT_EQ(integration.removeForUser(FileManager::nemo), std::nullopt);
    EXPECT_FALSE(fs::exists(userFile(dolphinMenu)));
    EXPECT_TRUE(fs::is_empty(userFile("nemo/actions")));
    EXPECT_EQ(contents(userFile("kio/servicemenus/other.desktop")), "someone else's");
    EXPECT_EQ(integration.removeForUser(FileManager::nemo), std::nullopt) << "nothing to remove";
}

TEST_F(IntegrationTest, AFailedInstallSaysWhyAndLeavesNothing) {
    auto withoutProgram = places;
    withoutProgram.keloFinder.clear();
    EXPECT_NE(FileManagerIntegration(withoutProgram).installForUser(FileManager::dolphin),
              std::nullopt);
    EXPECT_FALSE(fs::exists(userFile(dolphinMenu)));
    EXPECT_NE(FileManagerIntegration(places).installForUser(FileManager::nautilus), std::nullopt);

    // The fourth of Nemo's five actions cannot be written: the three before it go again.
    fs::create_directories(userFile("nemo/actions/wex.dorvel.Kelo.4-year.nemo_action/inside"));
    const auto error = FileManagerIntegration(places).installForUser(FileManager::nemo);
    ASSERT_NE(error, std::nullopt);
    EXPECT_TRUE(error->contains(QStringLiteral("4-year"))) << error->toStdString();
    size_t left = 0;
    for (const auto &entry : fs::directory_iterator(userFile("nemo/actions")))
        left += entry.is_regular_file() ? 1u : 0u;
    EXPECT_EQ(left, 0u);
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
    EXPECT_TRUE(fs::exists(userFile(dolphinMenu)));
    EXPECT_EQ(dolphinStatus->text(), QStringLiteral("Menu staat aan voor jou"));
    EXPECT_EQ(dolphin->text(), QStringLiteral("Uitzetten"));

    QTest::mouseClick(dolphin, Qt::LeftButton);
    EXPECT_FALSE(fs::exists(userFile(dolphinMenu)));
    EXPECT_EQ(dolphin->text(), QStringLiteral("Aanzetten"));
    EXPECT_TRUE(errors.empty());

    // Where the user's folder cannot hold the menu, the reason is reported.
    fs::remove_all(userFile("kio/servicemenus"));
    std::ofstream(userFile("kio/servicemenus")) << "a file, not a folder";
    QTest::mouseClick(dolphin, Qt::LeftButton);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(dolphin->text(), QStringLiteral("Aanzetten"));
}

} // namespace
