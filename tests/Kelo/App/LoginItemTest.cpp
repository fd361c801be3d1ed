#include "LoginItem.h"
#include "UserDefaults.h"

#include "LogCapture.h"
#include "ScopedEnvironment.h"
#include "Subprocess.h"
#include "TemporaryFolder.h"

#include <gtest/gtest.h>

#include <QStandardPaths>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace {

QString qPath(const std::filesystem::path &path) {
    return QString::fromStdString(path.string());
}

std::string fileText(const std::filesystem::path &file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The value of the entry's Exec key, as written.
std::string execValue(const std::filesystem::path &entry) {
    std::istringstream lines(fileText(entry));
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("Exec="))
            return line.substr(5);
    }
    return {};
}

bool startsWith(const std::string &line, const std::string &prefix) {
    return line.starts_with(prefix);
}

constexpr const char *logPrefix = "Kelo: login item: ";

class LoginItemTest : public ::testing::Test {
protected:
    // Neither folder exists yet: registering has to make them.
    kelo::LoginItem item(const QString &program = QStringLiteral("/usr/bin/kelo")) const {
        return kelo::LoginItem(program, qPath(m_autostart));
    }
    std::filesystem::path entry() const { return m_autostart / "wex.dorvel.Kelo.desktop"; }
    void writeEntry(const std::string &text) const {
        std::filesystem::create_directories(m_autostart);
        std::ofstream(entry()) << text;
    }

    TemporaryFolder m_folder;
    std::filesystem::path m_autostart = m_folder.path() / "config" / "autostart";
    std::filesystem::path m_settings = m_folder.path() / "config" / "wex.dorvel" / "Kelo.conf";
};

// --- The entry and its states -----------------------------------------------------------------

TEST_F(LoginItemTest, NoEntryIsNotEnabled) {
    EXPECT_EQ(item().entryPath(), qPath(entry()));
    EXPECT_FALSE(item().isEnabled());
}

TEST_F(LoginItemTest, RegisteringWritesAnEntryThatStartsTheProgramAtLogin) {
    const LogCapture log;
    item().setLoginItem(true);

    ASSERT_TRUE(std::filesystem::is_regular_file(entry()));
    EXPECT_EQ(fileText(entry()), "[Desktop Entry]\n"
                                 "Type=Application\n"
                                 "Name=Kelo\n"
                                 "Comment=Herinnert je aan bestanden die over de datum zijn\n"
                                 "Exec=/usr/bin/kelo --login-item\n"
                                 "Icon=wex.dorvel.Kelo\n"
                                 "Terminal=false\n"
                                 "NoDisplay=true\n"
                                 "X-GNOME-Autostart-enabled=true\n");
    EXPECT_TRUE(item().isEnabled());
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(LoginItemTest, EntriesTheDesktopTurnedOffAreNotEnabled) {
    writeEntry("[Desktop Entry]\nType=Application\nExec=kelo --login-item\nHidden=true\n");
    EXPECT_FALSE(item().isEnabled());
    writeEntry("[Desktop Entry]\nType=Application\nExec=kelo --login-item\nHidden = True \n");
    EXPECT_FALSE(item().isEnabled());
    writeEntry("[Desktop Entry]\nType=Application\nX-GNOME-Autostart-enabled=false\n");
    EXPECT_FALSE(item().isEnabled());
    writeEntry("[Desktop Entry]\nType=Application\nX-GNOME-Autostart-enabled= FALSE\n");
    EXPECT_FALSE(item().isEnabled());
}

TEST_F(LoginItemTest, OnlyTheDesktopEntryGroupCounts) {
    writeEntry("# Hidden=true\n[Desktop Entry]\nType=Application\nHidden=false\n"
               "X-GNOME-Autostart-enabled=true\n\n[Desktop Action Stop]\nHidden=true\n"
               "X-GNOME-Autostart-enabled=false\n");
    EXPECT_TRUE(item().isEnabled());
}

TEST_F(LoginItemTest, RegisteringAgainTurnsATurnedOffEntryBackOn) {
    writeEntry("[Desktop Entry]\nType=Application\nExec=kelo --login-item\nHidden=true\n");
    item().setLoginItem(true);
    EXPECT_TRUE(item().isEnabled());
}

TEST_F(LoginItemTest, UnregisteringRemovesTheEntry) {
    const LogCapture log;
    item().setLoginItem(true);
    item().setLoginItem(false);
    EXPECT_FALSE(std::filesystem::exists(entry()));
    EXPECT_FALSE(item().isEnabled());
    // Already gone is no failure.
    item().setLoginItem(false);
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(LoginItemTest, TheProgramIsQuotedWhenItHasSpacesOrReservedCharacters) {
    item(QStringLiteral("/opt/Mijn Apps/kelo")).setLoginItem(true);
    EXPECT_EQ(execValue(entry()), R"("/opt/Mijn Apps/kelo" --login-item)");

    // " and $ escaped inside the quotes, the backslash escaped for the quotes and again for the
    // value, and % doubled so that it is no field code.
    item(QStringLiteral(R"(/opt/a"b$c\d%e)")).setLoginItem(true);
    EXPECT_EQ(execValue(entry()), R"("/opt/a\\"b\\$c\\\\d%%e" --login-item)");

    item(QStringLiteral("/opt/geen-spaties/kelo")).setLoginItem(true);
    EXPECT_EQ(execValue(entry()), "/opt/geen-spaties/kelo --login-item");
}

TEST_F(LoginItemTest, TheEntryPassesDesktopFileValidate) {
    const QString validator =
        QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validator.isEmpty())
        GTEST_SKIP() << "desktop-file-validate is not installed";
    for (const char *program : {"/usr/bin/kelo", "/opt/Mijn Apps/kelo", R"(/opt/a"b$c\d%e)"}) {
        item(QString::fromUtf8(program)).setLoginItem(true);
        const ProcessResult result = runProcess({validator.toStdString(), entry().string()});
        EXPECT_EQ(result.exitCode, 0) << program << '\n' << result.out << result.err;
        EXPECT_EQ(result.out + result.err, "") << program;
    }
}

// The package ships the entry for everyone (/usr/share/kelo/autostart, for /etc/xdg/autostart):
// it has to be exactly the entry Kelo writes for a user when the program is "kelo".
TEST_F(LoginItemTest, ThePackagedAutostartEntryIsTheEntryKeloWrites) {
    const std::filesystem::path packaged = KELO_AUTOSTART_TEMPLATE;
    ASSERT_TRUE(std::filesystem::is_regular_file(packaged)) << packaged;
    item(QStringLiteral("kelo")).setLoginItem(true);
    ASSERT_TRUE(std::filesystem::is_regular_file(entry()));
    EXPECT_EQ(fileText(packaged), fileText(entry()));
}

TEST_F(LoginItemTest, TheUsersEntryFollowsXdgConfigHome) {
    {
        const ScopedEnvironment configHome("XDG_CONFIG_HOME", m_folder.path().c_str());
        EXPECT_EQ(kelo::LoginItem(QStringLiteral("/usr/bin/kelo")).entryPath(),
                  qPath(m_folder.path() / "autostart" / "wex.dorvel.Kelo.desktop"));
    }
    const ScopedEnvironment home("HOME", (m_folder.path() / "thuis").c_str());
    const ScopedEnvironment relative("XDG_CONFIG_HOME", "relatief");
    EXPECT_EQ(
        kelo::LoginItem(QStringLiteral("/usr/bin/kelo")).entryPath(),
        qPath(m_folder.path() / "thuis" / ".config" / "autostart" / "wex.dorvel.Kelo.desktop"));
}

// --- Failures: one log line and nothing else ---------------------------------------------------

TEST_F(LoginItemTest, AnAutostartFolderThatCannotBeMadeIsOneLogLine) {
    // A file where the folder should be: mkpath fails for root as well.
    std::filesystem::create_directories(m_autostart.parent_path());
    std::ofstream(m_autostart) << "geen map";
    const LogCapture log;
    item().setLoginItem(true);

    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_PRED2(startsWith, log.lines().front(), logPrefix);
    EXPECT_FALSE(item().isEnabled());
}

TEST_F(LoginItemTest, AnEntryThatCannotBeWrittenOrRemovedIsOneLogLine) {
    // A folder, with something in it, where the entry should be.
    std::filesystem::create_directories(entry() / "inhoud");
    {
        const LogCapture log;
        item().setLoginItem(true);
        ASSERT_EQ(log.lines().size(), 1u);
        EXPECT_PRED2(startsWith, log.lines().front(), logPrefix);
        EXPECT_FALSE(item().isEnabled());
    }
    {
        const LogCapture log;
        item().setLoginItem(false);
        ASSERT_EQ(log.lines().size(), 1u);
        EXPECT_PRED2(startsWith, log.lines().front(), logPrefix);
        EXPECT_TRUE(std::filesystem::is_directory(entry() / "inhoud"));
    }
}

// --- The one offer at the first start ----------------------------------------------------------

TEST_F(LoginItemTest, TheFirstStartRegistersAndRemembersTheOffer) {
    const LogCapture log;
    {
        kelo::UserDefaults defaults(qPath(m_settings));
        item().offerLoginItemOnce(defaults);
    }
    EXPECT_TRUE(item().isEnabled());
    EXPECT_TRUE(kelo::UserDefaults(qPath(m_settings)).loginItemOffered());
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(LoginItemTest, LaterStartsNeverRegisterAgain) {
    {
        kelo::UserDefaults defaults(qPath(m_settings));
        item().offerLoginItemOnce(defaults);
    }
    // The user takes Kelo out of the startup programs.
    item().setLoginItem(false);
    {
        kelo::UserDefaults defaults(qPath(m_settings));
        item().offerLoginItemOnce(defaults);
    }
    EXPECT_FALSE(std::filesystem::exists(entry()));

    // Or turns it off in the desktop's own settings: the entry stays exactly as it is.
    const std::string turnedOff = "[Desktop Entry]\nType=Application\nHidden=true\n";
    writeEntry(turnedOff);
    {
        kelo::UserDefaults defaults(qPath(m_settings));
        item().offerLoginItemOnce(defaults);
    }
    EXPECT_EQ(fileText(entry()), turnedOff);
}

TEST_F(LoginItemTest, AFailedFirstRegistrationIsNotRetried) {
    std::filesystem::create_directories(m_autostart.parent_path());
    std::ofstream(m_autostart) << "geen map";
    {
        const LogCapture log;
        kelo::UserDefaults defaults(qPath(m_settings));
        item().offerLoginItemOnce(defaults);
        ASSERT_EQ(log.lines().size(), 1u);
        EXPECT_PRED2(startsWith, log.lines().front(), logPrefix);
    }
    EXPECT_TRUE(kelo::UserDefaults(qPath(m_settings)).loginItemOffered());

    // Registering would work now, but the offer has been made.
    std::filesystem::remove(m_autostart);
    {
        const LogCapture log;
        kelo::UserDefaults defaults(qPath(m_settings));
        item().offerLoginItemOnce(defaults);
        EXPECT_TRUE(log.lines().empty());
    }
    EXPECT_FALSE(std::filesystem::exists(entry()));
}

} // namespace
