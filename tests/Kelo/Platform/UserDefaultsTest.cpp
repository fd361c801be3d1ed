#include "UserDefaults.h"

#include "LogCapture.h"
#include "ScopedEnvironment.h"
#include "TemporaryFolder.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimeZone>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString qPath(const std::filesystem::path &path) {
    return QString::fromStdString(path.string());
}

std::string fileText(const std::filesystem::path &file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class UserDefaultsTest : public ::testing::Test {
protected:
    TemporaryFolder m_folder;
    std::filesystem::path m_file = m_folder.path() / "wex.dorvel" / "Kelo.conf";
};

TEST_F(UserDefaultsTest, ValuesGoThroughTheFileAtOnceAsIsoUtcDates) {
    const QDateTime reminder(QDate(2026, 12, 4), QTime(16, 0), QTimeZone(3600));
    const QDateTime checked(QDate(2027, 1, 10), QTime(9, 30, 15, 250), Qt::UTC);
    {
        kelo::UserDefaults defaults(qPath(m_file));
        EXPECT_FALSE(defaults.loginItemOffered());
        EXPECT_EQ(defaults.lastReminder(), std::nullopt);
        EXPECT_EQ(defaults.lastUpdateCheck(), std::nullopt);
        defaults.setLoginItemOffered(true);
        defaults.setLastReminder(reminder);
        defaults.setLastUpdateCheck(checked);
        // Written as each value changes, not when the object goes.
        const std::string text = fileText(m_file);
        for (const char *line : {"loginItemOffered=true", "lastReminder=2026-12-04T15:00:00.000Z",
                                 "lastUpdateCheck=2027-01-10T09:30:15.250Z"})
            EXPECT_NE(text.find(line), std::string::npos) << text;
    }
    {
        kelo::UserDefaults reread(qPath(m_file));
        EXPECT_TRUE(reread.loginItemOffered());
        ASSERT_TRUE(reread.lastReminder());
        EXPECT_EQ(*reread.lastReminder(), reminder);
        EXPECT_EQ(reread.lastReminder()->timeSpec(), Qt::UTC);
        EXPECT_EQ(reread.lastUpdateCheck(), checked);
        reread.setLoginItemOffered(false);
        reread.setLastUpdateCheck(QDateTime());
    }
    const kelo::UserDefaults again(qPath(m_file));
    EXPECT_FALSE(again.loginItemOffered());
    EXPECT_EQ(again.lastUpdateCheck(), std::nullopt);
    EXPECT_EQ(again.lastReminder(), reminder);
}

TEST_F(UserDefaultsTest, ValuesWrittenByHand) {
    std::filesystem::create_directories(m_file.parent_path());
    std::ofstream(m_file) << "[General]\nlastReminder=gisteren\nloginItemOffered=misschien\n";
    {
        const kelo::UserDefaults defaults(qPath(m_file));
        EXPECT_EQ(defaults.lastReminder(), std::nullopt);
        EXPECT_FALSE(defaults.loginItemOffered());
    }
    std::ofstream(m_file)
        << "[General]\nlastReminder=2026-12-04T15:00:00Z\nloginItemOffered=TRUE\n";
    const kelo::UserDefaults defaults(qPath(m_file));
    EXPECT_EQ(defaults.lastReminder(), QDateTime(QDate(2026, 12, 4), QTime(15, 0), Qt::UTC));
    EXPECT_TRUE(defaults.loginItemOffered());
}

// Anything but a regular file is left as it is: no wait for a FIFO's writer, no write, one log
// line, and the values live in memory for the run.
TEST_F(UserDefaultsTest, AFifoOrAFolderInTheFilesPlaceIsLeftAloneAndTheDefaultsServe) {
    using namespace std::chrono_literals;
    const struct {
        const char *what;
        std::function<void()> make;
    } cases[] = {{"a FIFO", [&] { ASSERT_EQ(::mkfifo(m_file.c_str(), 0600), 0); }},
                 {"a folder", [&] { std::filesystem::create_directories(m_file / "inhoud"); }}};
    const QDateTime reminder(QDate(2026, 12, 4), QTime(15, 0), Qt::UTC);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(m_file.parent_path());
        std::filesystem::create_directories(m_file.parent_path());
        c.make();
        const auto type = std::filesystem::status(m_file).type();
        // A reader stuck on the FIFO is let go after three seconds, so that a failure ends.
        std::atomic<bool> done = false;
        std::thread writer([&] {
            const auto start = std::chrono::steady_clock::now();
            while (!done) {
                if (std::chrono::steady_clock::now() - start > 3s) {
                    if (const int fd = ::open(m_file.c_str(), O_WRONLY | O_NONBLOCK); fd >= 0)
                        ::close(fd);
                }
                std::this_thread::sleep_for(20ms);
            }
        });
        const LogCapture log;
        QElapsedTimer timer;
        timer.start();
        {
            kelo::UserDefaults defaults(qPath(m_file));
            EXPECT_LT(timer.elapsed(), 2000);
            EXPECT_FALSE(defaults.keepsValues());
            EXPECT_FALSE(defaults.loginItemOffered());
            EXPECT_EQ(defaults.lastReminder(), std::nullopt);
            defaults.setLoginItemOffered(true);
            defaults.setLastReminder(reminder);
            EXPECT_TRUE(defaults.loginItemOffered());
            EXPECT_EQ(defaults.lastReminder(), reminder);
            EXPECT_FALSE(defaults.keepsValues());
        }
        done = true;
        writer.join();
        EXPECT_EQ(std::filesystem::status(m_file).type(), type);
        EXPECT_EQ(std::filesystem::is_directory(m_file),
                  std::filesystem::exists(m_file / "inhoud"));
        ASSERT_EQ(log.lines().size(), 1u);
        EXPECT_EQ(log.lines()[0].rfind("Kelo: settings: " + m_file.string() + ": ", 0), 0u)
            << log.lines()[0];
    }
}

// The configuration folder is found as for the login item (which also tries a relative one).
TEST_F(UserDefaultsTest, TheUsersFileFollowsXdgConfigHome) {
    const ScopedEnvironment configHome("XDG_CONFIG_HOME", m_folder.path().c_str());
    kelo::UserDefaults defaults;
    defaults.setLoginItemOffered(true);
    ASSERT_TRUE(std::filesystem::is_regular_file(m_file));
    EXPECT_TRUE(kelo::UserDefaults(qPath(m_file)).loginItemOffered());
}

} // namespace
