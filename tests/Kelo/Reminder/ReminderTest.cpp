#include "Reminder.h"
#include "ByteCount.h"
#include "DiskUsage.h"
#include "ExpiryStamp.h"
#include "RecordingCenter.h"
#include "ScopedEnvironment.h"
#include "ShelfOrder.h"
#include "ShelfSupport.h"
#include "TemporaryFolder.h"
#include "TestClock.h"
#include "UserDefaults.h"

#include <QSettings>
#include <QTest>

#include <fstream>

#include <gtest/gtest.h>

using namespace kelo;
using namespace std::chrono;
namespace fs = std::filesystem;

namespace {

Instant utc(int y, unsigned m, unsigned d, int hour = 0, int minute = 0) {
    return Instant(sys_days(year(y) / month(m) / day(d)) + hours(hour) + minutes(minute));
}

class ReminderTest : public ::testing::Test {
protected:
    ScopedEnvironment tz{"TZ", "Europe/Amsterdam"};
    TemporaryFolder folder;
    QString settings = QString::fromStdString((folder.path() / "Kelo.conf").string());
    NoPresenter presenter;
    RecordingCenter center;
    std::unique_ptr<Shelf> shelf;
    std::unique_ptr<UserDefaults> defaults = std::make_unique<UserDefaults>(settings);
    TestClock clock{utc(2026, 12, 4, 15, 30)}; // Friday 16:30

    // `count` files of 5000 bytes past their date for every moment these tests take as now.
    void expiredFiles(int count, bool waitForLoad = true) {
        for (int i = 0; i < count; ++i) {
            const auto file = folder.path() / ("oud-" + std::to_string(i) + ".txt");
            std::ofstream(file) << std::string(5000, 'x');
            ASSERT_FALSE(writeStamp(utc(2026, 11, 1), file, Calendar::current()));
        }
        if (!shelf)
            shelf = shelfOver(folder.path(), presenter, waitForLoad);
    }
    std::unique_ptr<Reminder> reminder(bool test = false) {
        return std::make_unique<Reminder>(*shelf, *defaults, center,
                                          Reminder::Options{.testReminder = test,
                                                            .startDelay = milliseconds(20),
                                                            .testDelay = milliseconds(20),
                                                            .watchWake = false});
    }
    void setLastReminder(Instant when) {
        defaults->setLastReminder(
            QDateTime::fromMSecsSinceEpoch(when.time_since_epoch().count(), Qt::UTC));
    }
    Instant lastReminder() const {
        return Instant(milliseconds(defaults->lastReminder().value().toMSecsSinceEpoch()));
    }
    // Until `count` notifications were posted, and then until no sizes are being measured: a
    // notification waiting for them is posted by then.
    void waitForPosts(std::size_t count) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return center.posted.size() >= count; }, 10000));
        ASSERT_TRUE(QTest::qWaitFor([this] { return !shelf->diskUsage().busy(); }, 10000));
        QCoreApplication::processEvents();
        EXPECT_EQ(center.posted.size(), count);
    }
};

} // namespace

TEST(WeeklyMoment, MostRecentFridayAtFourLocalTime) {
    EXPECT_EQ(
        Reminder::moment.mostRecent(utc(2026, 12, 5, 8), Calendar::forZone("Europe/Amsterdam")),
        utc(2026, 12, 4, 15)); // Friday 4 December 2026, 16:00 local
    EXPECT_EQ(Reminder::body(1, 4'200'000), "1 bestand is over de datum (4,2 MB).");
    EXPECT_EQ(Reminder::body(1234, 1'000), "1234 bestanden zijn over de datum (1 kB).");
}

// A first start, a start after the clock was set back, and a last reminder months ahead (stored
// by a clock that was wrong once, or restored from a backup) wait for the next Friday 16:00.
TEST_F(ReminderTest, AFirstStartOrAClockSetBackWaitsForTheNextFriday) {
    expiredFiles(2);
    const struct {
        std::optional<Instant> stored;
        Instant start, nextFriday;
    } cases[] = {{std::nullopt, utc(2026, 12, 4, 16), utc(2026, 12, 11, 15, 1)},
                 {utc(2027, 6, 4, 15), utc(2026, 11, 30, 12), utc(2026, 12, 11, 15, 0)}};
    for (const auto &c : cases) {
        center.posted.clear();
        if (c.stored)
            setLastReminder(*c.stored);
        clock.set(c.start);
        auto weekly = reminder();
        weekly->check();
        waitForPosts(0);
        clock.set(c.nextFriday);
        weekly->check();
        waitForPosts(1);
        EXPECT_EQ(center.posted.at(0).title, "Tijd om op te ruimen");
    }
}

// A missed week, or a stored value that is no date, reminds once at the next check; with nothing
// expired the week is handled quietly.
TEST_F(ReminderTest, AMissedWeekOrABadStoredValueRemindsOnceAtTheNextCheck) {
    clock.set(utc(2026, 12, 7, 9)); // Monday
    expiredFiles(1);
    const std::pair<const char *, std::size_t> cases[] = {{"gisteren", 1},
                                                          {"2026-11-20T15:10:00Z", 0}};
    for (const auto &[stored, files] : cases) {
        center.posted.clear();
        QSettings(settings, QSettings::IniFormat).setValue("lastReminder", stored);
        defaults = std::make_unique<UserDefaults>(settings);
        auto weekly = reminder();
        waitForPosts(files); // the start-up check
        weekly->check();     // a wake and the timer after the same moment: nothing more
        weekly->check();
        waitForPosts(files);
        EXPECT_EQ(lastReminder(), utc(2026, 12, 7, 9));
        fs::remove(folder.path() / "oud-0.txt");
        shelf->reload();
    }
}

// The sizes are measured away from this thread: the notification follows the check once they
// are known, carrying their sum, and a wake or a second send while it waits posts nothing more.
TEST_F(ReminderTest, TheNotificationWaitsForTheSizesAndIsPostedOnce) {
    expiredFiles(3);
    setLastReminder(utc(2026, 11, 27, 16));
    auto weekly = reminder();
    weekly->check();
    weekly->check();
    weekly->send(false);
    waitForPosts(1);
    // The three files are alike: each takes the space of the first.
    EXPECT_EQ(center.posted.at(0).body,
              Reminder::body(3, 3 * allocatedSize(folder.path() / "oud-0.txt")));
}

TEST_F(ReminderTest, NoCheckBeforeTheShelfHasLoadedAndTheTestNotificationStoresNothing) {
    expiredFiles(1, false);
    setLastReminder(utc(2026, 11, 1));
    reminder()->check();
    EXPECT_TRUE(center.posted.empty());
    ASSERT_TRUE(QSignalSpy(shelf.get(), &Shelf::loadedChanged).wait(5000));
    fs::remove(folder.path() / "oud-0.txt");
    shelf->reload();
    auto test = reminder(true);
    waitForPosts(1);
    EXPECT_EQ(center.posted.at(0).title, "Tijd om op te ruimen (proefmelding)");
    EXPECT_EQ(center.posted.at(0).body,
              "Er is nu niets over de datum. Zo ziet de melding er op vrijdag uit.");
    EXPECT_EQ(lastReminder(), utc(2026, 11, 1));
}
