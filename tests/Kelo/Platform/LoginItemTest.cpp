#include "LoginItem.h"
#include "UserDefaults.h"

#include "LogCapture.h"
#include "ScopedEnvironment.h"
#include "Subprocess.h"
#include "TemporaryFolder.h"

#include <gtest/gtest.h>

#include <QStandardPaths>

namespace {

QString qPath(const std::filesystem::path &path) {
    return QString::fromStdString(path.string());
}

std::string fileText(const std::filesystem::path &file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class LoginItemTest : public ::testing::Test {
protected:
    // Neither folder exists yet: registering has to make them.
    kelo::LoginItem item(const QString &program = QStringLiteral("/usr/bin/kelo")) const {
        return kelo::LoginItem(program, qPath(m_autostart));
    }
    // Offers the login item as a start does.
    void offerOnce() const {
        kelo::UserDefaults defaults(qPath(m_settings));
        item().offerLoginItemOnce(defaults);
    }

    TemporaryFolder m_folder;
    std::filesystem::path m_autostart = m_folder.path() / "config" / "autostart";
    std::filesystem::path m_entry = m_autostart / "wex.dorvel.Kelo.desktop";
    std::filesystem::path m_settings = m_folder.path() / "config" / "wex.dorvel" / "Kelo.conf";
};

// The package ships the entry for everyone (/usr/share/kelo/autostart, for /etc/xdg/autostart):
// it has to be exactly the entry Kelo writes for a user when the program is "kelo". Entries the
// desktop turned off (in the Desktop Entry group) are not enabled until registered again.
TEST_F(LoginItemTest, RegisteringWritesTheEntryThePackageShipsAndUnregisteringRemovesIt) {
    EXPECT_FALSE(item().isEnabled());
    item(QStringLiteral("kelo")).setLoginItem(true);
    EXPECT_EQ(fileText(KELO_AUTOSTART_TEMPLATE), fileText(m_entry));
    EXPECT_TRUE(item().isEnabled());
    item().setLoginItem(false);
    EXPECT_FALSE(std::filesystem::exists(m_entry) || item().isEnabled());
    const ScopedEnvironment configHome("XDG_CONFIG_HOME", m_folder.path().c_str());
    EXPECT_EQ(kelo::LoginItem(QStringLiteral("kelo")).entryPath(),
              qPath(m_folder.path() / "autostart/wex.dorvel.Kelo.desktop"));

    const std::pair<const char *, bool> entries[] = {
        {"Hidden = True \n", false},
        {"X-GNOME-Autostart-enabled= FALSE\n", false},
        {"Hidden=false\n\n[Desktop Action Stop]\nHidden=true\nX-GNOME-Autostart-enabled=false\n",
         true}};
    for (const auto &[text, enabled] : entries) {
        std::ofstream(m_entry) << "# Hidden=true\n[Desktop Entry]\nType=Application\n" << text;
        EXPECT_EQ(item().isEnabled(), enabled) << text;
        item().setLoginItem(true);
        EXPECT_TRUE(item().isEnabled()) << text;
    }
}

// " and $ escaped inside the quotes, the backslash escaped for the quotes and again for the
// value, and % doubled so that it is no field code; each passes desktop-file-validate, where it
// is installed.
TEST_F(LoginItemTest, TheProgramIsQuotedWhenItHasSpacesOrReservedCharacters) {
    const std::pair<const char *, std::string> programs[] = {
        {"/opt/Mijn Apps/kelo", R"("/opt/Mijn Apps/kelo" --login-item)"},
        {R"(/opt/a"b$c\d%e)", R"("/opt/a\\"b\\$c\\\\d%%e" --login-item)"}};
    const auto validator = QStandardPaths::findExecutable("desktop-file-validate").toStdString();
    for (const auto &[program, exec] : programs) {
        item(QString::fromUtf8(program)).setLoginItem(true);
        EXPECT_NE(fileText(m_entry).find("\nExec=" + exec + "\n"), std::string::npos) << exec;
        EXPECT_TRUE(validator.empty() || runProcess({validator, m_entry.string()}).exitCode == 0)
            << program;
    }
}

// A folder, with something in it, where the entry should be: one log line each way.
TEST_F(LoginItemTest, AnEntryThatCannotBeWrittenOrRemovedIsOneLogLine) {
    std::filesystem::create_directories(m_entry / "inhoud");
    for (const bool enable : {true, false}) {
        const LogCapture log;
        item().setLoginItem(enable);
        EXPECT_EQ(log.lines().size(), 1u);
        EXPECT_FALSE(item().isEnabled());
    }
    EXPECT_TRUE(std::filesystem::is_directory(m_entry / "inhoud"));
}

// The first start registers; later starts never again, though the user turned it off in the
// desktop's settings (the entry stays exactly as it is).
TEST_F(LoginItemTest, TheFirstStartRegistersAndLaterStartsNeverAgain) {
    offerOnce();
    EXPECT_TRUE(item().isEnabled());
    const std::string turnedOff = "[Desktop Entry]\nType=Application\nHidden=true\n";
    std::ofstream(m_entry) << turnedOff;
    offerOnce();
    EXPECT_EQ(fileText(m_entry), turnedOff);
}

// The autostart folder cannot be made (a file is in its place): the offer is not made again,
// though registering would work now.
TEST_F(LoginItemTest, AFailedFirstRegistrationIsNotRetried) {
    std::filesystem::create_directories(m_autostart.parent_path());
    std::ofstream(m_autostart) << "geen map";
    offerOnce();
    EXPECT_TRUE(kelo::UserDefaults(qPath(m_settings)).loginItemOffered());
    std::filesystem::remove(m_autostart);
    offerOnce();
    EXPECT_FALSE(std::filesystem::exists(m_entry));
}

// Settings that cannot be read back (here binary garbage; a folder in their place is the same
// to the user defaults) would have every start register again, even after the user turned the
// login item off: then there is no offer at all, and the next start finds all as it was.
TEST_F(LoginItemTest, NoOfferWhileTheSettingsCannotBeKept) {
    const std::string garbage("\xff\xfe\0\0\177ELF[\1\n", 11);
    std::filesystem::create_directories(m_settings.parent_path());
    std::ofstream(m_settings, std::ios::binary) << garbage;
    offerOnce();
    EXPECT_FALSE(std::filesystem::exists(m_entry));
    EXPECT_EQ(fileText(m_settings), garbage);
}

} // namespace
