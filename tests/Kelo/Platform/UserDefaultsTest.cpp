#include "UserDefaults.h"

#include "LogCapture.h"
#include "TemporaryFolder.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimeZone>

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class UserDefaultsTest : public ::testing::Test {
protected:
    TemporaryFolder m_folder;
    std::filesystem::path m_file = m_folder.path() / "wex.dorvel" / "Kelo.conf";
    QString path() const { return QString::fromStdString(m_file.string()); }
};

// Written as each value changes, read back by the next one in UTC, to the millisecond.
TEST_F(UserDefaultsTest, ValuesGoThroughTheFileAtOnceAsIsoUtcDates) {
    const QDateTime checked(QDate(2027, 1, 10), QTime(10, 30, 15, 250), QTimeZone(3600));
    kelo::UserDefaults defaults(path());
    EXPECT_FALSE(defaults.loginItemOffered() || defaults.lastUpdateCheck());
    defaults.setLoginItemOffered(true);
    defaults.setLastUpdateCheck(checked);
    kelo::UserDefaults reread(path());
    EXPECT_TRUE(reread.loginItemOffered());
    EXPECT_EQ(reread.lastUpdateCheck(), checked);
    EXPECT_EQ(reread.lastUpdateCheck().value_or(QDateTime()).timeSpec(), Qt::UTC);
    reread.setLastUpdateCheck(QDateTime());
    EXPECT_FALSE(kelo::UserDefaults(path()).lastUpdateCheck());
}

// Anything but a regular file is left as it is: no wait for a FIFO's writer, no write, one log
// line, and the values live in memory for the run.
TEST_F(UserDefaultsTest, AFifoOrAFolderInTheFilesPlaceIsLeftAloneAndTheDefaultsServe) {
    using namespace std::chrono_literals;
    for (const bool fifo : {true, false}) {
        SCOPED_TRACE(fifo ? "a FIFO" : "a folder");
        std::filesystem::remove_all(m_file.parent_path());
        std::filesystem::create_directories(fifo ? m_file.parent_path() : m_file / "inhoud");
        ASSERT_TRUE(!fifo || ::mkfifo(m_file.c_str(), 0600) == 0);
        const auto type = std::filesystem::status(m_file).type();
        // A reader stuck on the FIFO is let go after three seconds, so that a failure ends.
        std::atomic<bool> done = false;
        std::thread rescue([&] {
            for (int waited = 0; !done; ++waited, std::this_thread::sleep_for(20ms))
                if (waited > 150)
                    ::close(::open(m_file.c_str(), O_WRONLY | O_NONBLOCK));
        });
        const LogCapture log;
        QElapsedTimer timer;
        timer.start();
        {
            kelo::UserDefaults defaults(path());
            EXPECT_LT(timer.elapsed(), 2000);
            EXPECT_FALSE(defaults.loginItemOffered() || defaults.keepsValues());
            defaults.setLoginItemOffered(true);
            EXPECT_TRUE(defaults.loginItemOffered());
        }
        done = true;
        rescue.join();
        EXPECT_EQ(std::filesystem::status(m_file).type(), type);
        EXPECT_EQ(log.lines().size(), 1u);
    }
}

} // namespace
