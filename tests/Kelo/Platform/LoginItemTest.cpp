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
#include <functional>
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

// A failure is one line in Kelo's log, and nothing else.
void expectOneLogLine(const LogCapture &log) {
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_TRUE(log.lines().front().starts_with("Kelo: login item: ")) << log.lines().front();
}

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
    void offerOnce() const {
        kelo::UserDefaults defaults(qPath(m_settings));
        item().offerLoginItemOnce(defaults);
    }
    // A file where the autostart folder should be: making the folder fails, for root as well.
    void blockTheFolder() const {
        std::filesystem::create_directories(m_autostart.parent_path());
        std::ofstream(m_autostart) << "geen map";
    }

    TemporaryFolder m_folder;
    std::filesystem::path m_autostart = m_folder.path() / "config" / "autostart";
    std::filesystem::path m_settings = m_folder.path() / "config" / "wex.dorvel" / "Kelo.conf";
};

// --- The entry and its states -----------------------------------------------------------------

TEST_F(LoginItemTest,
       RegisteringWritesAnEntryThatStartsTheProgramAtLoginAndUnregisteringRemovesIt) {
    const LogCapture log;
    EXPECT_EQ(item().entryPath(), qPath(entry()));
    EXPECT_FALSE(item().isEnabled());
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

    item().setLoginItem(false);
    EXPECT_FALSE(std::filesystem::exists(entry()));
    EXPECT_FALSE(item().isEnabled());
    // Already gone is no failure.
    item().setLoginItem(false);
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(LoginItemTest, EntriesTheDesktopTurnedOffAreNotEnabledUntilRegisteredAgain) {
    const std::pair<const char *, bool> entries[] = {
        {"Exec=kelo --login-item\nHidden=true\n", false},
        {"Exec=kelo --login-item\nHidden = True \n", false},
        {"X-GNOME-Autostart-enabled=false\n", false},
        {"X-GNOME-Autostart-enabled= FALSE\n", false},
        // Only the Desktop Entry group counts.
        {"Hidden=false\nX-GNOME-Autostart-enabled=true\n\n[Desktop Action Stop]\nHidden=true\n"
         "X-GNOME-Autostart-enabled=false\n",
         true}};
    for (const auto &[text, enabled] : entries) {
        writeEntry(std::string("# Hidden=true\n[Desktop Entry]\nType=Application\n") + text);
        EXPECT_EQ(item().isEnabled(), enabled) << text;
        item().setLoginItem(true);
        EXPECT_TRUE(item().isEnabled()) << text;
    }
}

TEST_F(LoginItemTest, TheProgramIsQuotedWhenItHasSpacesOrReservedCharacters) {
    // " and $ escaped inside the quotes, the backslash escaped for the quotes and again for the
    // value, and % doubled so that it is no field code.
    const std::pair<const char *, const char *> programs[] = {
        {"/opt/Mijn Apps/kelo", R"("/opt/Mijn Apps/kelo" --login-item)"},
        {R"(/opt/a"b$c\d%e)", R"("/opt/a\\"b\\$c\\\\d%%e" --login-item)"},
        {"/opt/geen-spaties/kelo", "/opt/geen-spaties/kelo --login-item"}};
    // Each passes desktop-file-validate, where it is installed.
    const QString validator =
        QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    for (const auto &[program, exec] : programs) {
        item(QString::fromUtf8(program)).setLoginItem(true);
        EXPECT_EQ(execValue(entry()), exec);
        if (validator.isEmpty())
            continue;
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

TEST_F(LoginItemTest, AnEntryThatCannotBeWrittenOrRemovedIsOneLogLine) {
    // A folder, with something in it, where the entry should be.
    std::filesystem::create_directories(entry() / "inhoud");
    {
        const LogCapture log;
        item().setLoginItem(true);
        expectOneLogLine(log);
        EXPECT_FALSE(item().isEnabled());
    }
    const LogCapture log;
    item().setLoginItem(false);
    expectOneLogLine(log);
    EXPECT_TRUE(std::filesystem::is_directory(entry() / "inhoud"));
}

// --- The one offer at the first start ----------------------------------------------------------

TEST_F(LoginItemTest, TheFirstStartRegistersAndLaterStartsNeverAgain) {
    {
        const LogCapture log;
        offerOnce();
        EXPECT_TRUE(item().isEnabled());
        EXPECT_TRUE(kelo::UserDefaults(qPath(m_settings)).loginItemOffered());
        EXPECT_TRUE(log.lines().empty());
    }
    // The user takes Kelo out of the startup programs.
    item().setLoginItem(false);
    offerOnce();
    EXPECT_FALSE(std::filesystem::exists(entry()));

    // Or turns it off in the desktop's own settings: the entry stays exactly as it is.
    const std::string turnedOff = "[Desktop Entry]\nType=Application\nHidden=true\n";
    writeEntry(turnedOff);
    offerOnce();
    EXPECT_EQ(fileText(entry()), turnedOff);
}

// The autostart folder cannot be made: one log line, and the offer is not made again.
TEST_F(LoginItemTest, AFailedFirstRegistrationIsNotRetried) {
    blockTheFolder();
    {
        const LogCapture log;
        offerOnce();
        expectOneLogLine(log);
        EXPECT_FALSE(item().isEnabled());
    }
    EXPECT_TRUE(kelo::UserDefaults(qPath(m_settings)).loginItemOffered());

    // Registering would work now, but the offer has been made.
    std::filesystem::remove(m_autostart);
    const LogCapture log;
    offerOnce();
    EXPECT_TRUE(log.lines().empty());
    EXPECT_FALSE(std::filesystem::exists(entry()));
}

// Settings that cannot be read back would have every start register again, even after the user
// turned the login item off: then there is no offer at all, and the next start finds all as it
// was.
TEST_F(LoginItemTest, NoOfferWhileTheSettingsCannotBeKept) {
    const std::string garbage("\xff\xfe\0\0\177ELF[\1\n", 11);
    const struct {
        const char *what;
        std::function<void()> make;
    } cases[] = {
        {"a folder", [&] { std::filesystem::create_directories(m_settings / "inhoud"); }},
        {"binary garbage", [&] { std::ofstream(m_settings, std::ios::binary) << garbage; }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(m_folder.path() / "config");
        std::filesystem::create_directories(m_settings.parent_path());
        c.make();
        const LogCapture log;
        offerOnce();
        EXPECT_FALSE(std::filesystem::exists(entry()));
        EXPECT_TRUE(std::filesystem::is_directory(m_settings) || fileText(m_settings) == garbage);
        ASSERT_EQ(log.lines().size(), 1u);
        EXPECT_TRUE(log.lines()[0].starts_with("Kelo: settings: ")) << log.lines()[0];
    }
}

} // namespace
