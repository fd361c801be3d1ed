#include "Reminder.h"
#include "ByteCount.h"
#include "DiskUsage.h"
#include "ExpiryStamp.h"
#include "NotificationCenter.h"
#include "RecordingCenter.h"
#include "ScopedEnvironment.h"
#include "Shelf.h"
#include "ShelfOrder.h"
#include "ShelfSupport.h"
#include "TemporaryFolder.h"
#include "UserDefaults.h"
#include "WeeklyMoment.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <fstream>

#include <gtest/gtest.h>

using namespace kelo;
using namespace std::chrono;
namespace fs = std::filesystem;

namespace {

Instant utc(int y, unsigned m, unsigned d, int hour = 0, int minute = 0, int second = 0) {
    return Instant(sys_days(year(y) / month(m) / day(d)) + hours(hour) + minutes(minute) +
                   seconds(second));
}

} // namespace

TEST(WeeklyMoment, MostRecentFridayAtFourLocalTime) {
    const Calendar amsterdam = Calendar::forZone("Europe/Amsterdam");
    // Summer time starts on the last Friday of March at 16:00: 16:00 never shows; 17:00 counts.
    const Calendar forward = Calendar::forZone("CET-1CEST,M3.5.5/16,M10.5.0/3");
    // Summer time ends on the last Friday of October at 17:00: 16:00 comes twice; the first.
    const Calendar back = Calendar::forZone("CET-1CEST,M3.5.0,M10.5.5/17");
    const Instant friday = utc(2026, 12, 4, 15); // Friday 4 December 2026, 16:00 local
    const struct {
        const Calendar &calendar;
        Instant now, expected;
    } cases[] = {{amsterdam, friday + milliseconds(500), friday + milliseconds(500)},
                 {amsterdam, friday - seconds(1), friday - days(7)},
                 {amsterdam, utc(2026, 12, 5, 8), friday},   // Saturday 09:00
                 {amsterdam, utc(2026, 12, 10, 12), friday}, // Thursday
                 // Either side of the autumn change the answer is still 16:00 local time.
                 {amsterdam, utc(2026, 10, 26, 12), utc(2026, 10, 23, 14)},
                 {amsterdam, utc(2026, 10, 31, 12), utc(2026, 10, 30, 15)},
                 {forward, utc(2026, 3, 28, 12), utc(2026, 3, 27, 15)},
                 {back, utc(2026, 10, 30, 20), utc(2026, 10, 30, 14)},
                 {back, utc(2026, 10, 30, 15, 30), utc(2026, 10, 30, 14)}};
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(Reminder::moment.mostRecent(cases[i].now, cases[i].calendar), cases[i].expected)
            << "case " << i;
}

TEST(ReminderBody, TextsForOneAndMore) {
    EXPECT_EQ(Reminder::body(1, 4'200'000), "1 bestand is over de datum (4,2 MB).");
    EXPECT_EQ(Reminder::body(3, 4'200'000), "3 bestanden zijn over de datum (4,2 MB).");
    EXPECT_EQ(Reminder::body(1234, 1'000), "1234 bestanden zijn over de datum (1 kB).");
}

namespace {

class ReminderTest : public ::testing::Test {
protected:
    ScopedEnvironment tz{"TZ", "Europe/Amsterdam"};
    TemporaryFolder folder;
    fs::path root = folder.path() / "thuis";
    QString settings = QString::fromStdString((folder.path() / "Kelo.conf").string());
    NoPresenter presenter;
    RecordingCenter center;
    std::unique_ptr<Shelf> shelf;
    std::unique_ptr<UserDefaults> defaults = std::make_unique<UserDefaults>(settings);
    Instant now = utc(2026, 12, 4, 15, 30); // Friday 16:30

    // `count` files three days past their date, then the shelf over them.
    void expiredFiles(int count, bool waitForLoad = true) {
        fs::create_directories(root);
        const Calendar calendar = Calendar::current();
        for (int i = 0; i < count; ++i) {
            const auto file = root / ("oud-" + std::to_string(i) + ".txt");
            std::ofstream(file) << std::string(5000, 'x');
            ASSERT_FALSE(
                writeStamp(calendar.startOfDay(currentInstant()) - days(3), file, calendar));
        }
        if (!shelf) {
            shelf = shelfOver(root, presenter, waitForLoad);
            ASSERT_EQ(shelf->loaded(), waitForLoad);
        }
    }

    std::unique_ptr<Reminder> reminder(bool test = false) {
        Reminder::Options options;
        options.testReminder = test;
        options.clock = [this] { return now; };
        options.startDelay = milliseconds(20);
        options.testDelay = milliseconds(20);
        options.watchWake = false;
        return std::make_unique<Reminder>(*shelf, *defaults, center, options);
    }

    void setLastReminder(Instant when) {
        defaults->setLastReminder(
            QDateTime::fromMSecsSinceEpoch(when.time_since_epoch().count(), Qt::UTC));
    }
    Instant lastReminder() const {
        return Instant(milliseconds(defaults->lastReminder().value().toMSecsSinceEpoch()));
    }

    // Until the sizes anyone asked for are known: a notification waiting for them is posted by
    // then.
    void settle() {
        ASSERT_TRUE(QTest::qWaitFor([this] { return !shelf->diskUsage().busy(); }, 10000));
        QCoreApplication::processEvents();
    }
    // Until `count` notifications were posted, and then until nothing more is on its way.
    void waitForPosts(std::size_t count) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return center.posted.size() >= count; }, 10000));
        settle();
    }
};

} // namespace

// A first start, a start after the clock was set back, and a last reminder months ahead (stored
// by a clock that was wrong once, or restored from a backup) wait for the next Friday 16:00.
TEST_F(ReminderTest, AFirstStartOrAClockSetBackWaitsForTheNextFriday) {
    expiredFiles(2);
    const struct {
        const char *name;
        std::optional<Instant> stored;
        Instant start, nextFriday;
    } cases[] = {
        {"first start", std::nullopt, utc(2026, 12, 4, 16), utc(2026, 12, 11, 15, 1)},
        // From Friday 16:30 back to the Monday before it.
        {"set back", utc(2026, 12, 4, 15, 30), utc(2026, 11, 30, 12), utc(2026, 12, 11, 15, 0)},
        {"months ahead", utc(2027, 6, 4, 15), utc(2026, 11, 30, 12), utc(2026, 12, 11, 15, 0)}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        center.posted.clear();
        if (c.stored)
            setLastReminder(*c.stored);
        now = c.start;
        auto weekly = reminder();
        ASSERT_TRUE(defaults->lastReminder());
        weekly->check();
        settle();
        EXPECT_TRUE(center.posted.empty());
        now = c.nextFriday;
        weekly->check();
        waitForPosts(1);
        ASSERT_EQ(center.posted.size(), 1u);
        EXPECT_EQ(center.posted[0].title, "Tijd om op te ruimen");
        EXPECT_TRUE(center.posted[0].body.startsWith("2 bestanden zijn over de datum ("))
            << center.posted[0].body.toStdString();
        EXPECT_TRUE(center.posted[0].body.endsWith(")."));
    }
}

// A missed week, or a stored value that is no date, reminds once at the next check.
TEST_F(ReminderTest, AMissedWeekOrABadStoredValueRemindsOnceAtTheNextCheck) {
    expiredFiles(1);
    now = utc(2026, 12, 7, 9); // Monday
    for (const char *stored : {"2026-11-20T15:10:00Z", "gisteren"}) {
        SCOPED_TRACE(stored);
        center.posted.clear();
        QSettings(settings, QSettings::IniFormat).setValue("lastReminder", stored);
        defaults = std::make_unique<UserDefaults>(settings);
        auto weekly = reminder();
        waitForPosts(1); // the start-up check
        ASSERT_EQ(center.posted.size(), 1u);
        EXPECT_TRUE(center.posted[0].body.startsWith("1 bestand is over de datum ("));
        // A wake and the timer after the same moment: nothing more.
        weekly->check();
        weekly->check();
        settle();
        EXPECT_EQ(center.posted.size(), 1u);
        EXPECT_EQ(lastReminder(), now);
    }
}

TEST_F(ReminderTest, NothingExpiredHandlesTheWeekQuietly) {
    expiredFiles(0);
    setLastReminder(utc(2026, 11, 27, 16));
    auto weekly = reminder();
    weekly->check();
    settle();
    EXPECT_TRUE(center.posted.empty());
    EXPECT_EQ(lastReminder(), now);
}

// The sizes are measured away from this thread: the notification follows the check once they
// are known, carrying their sum, and a wake or a second send while it waits posts nothing more.
TEST_F(ReminderTest, TheNotificationWaitsForTheSizesAndIsPostedOnce) {
    expiredFiles(3);
    ASSERT_EQ(shelf->items(Freshness::expired).size(), 3u);
    setLastReminder(utc(2026, 11, 27, 16));
    auto weekly = reminder();
    weekly->check();
    EXPECT_TRUE(center.posted.empty());
    EXPECT_TRUE(shelf->diskUsage().busy());
    weekly->check();
    weekly->send(false);
    waitForPosts(1);
    ASSERT_EQ(center.posted.size(), 1u);
    qint64 bytes = 0;
    for (int i = 0; i < 3; ++i)
        bytes += allocatedSize(root / ("oud-" + std::to_string(i) + ".txt"));
    ASSERT_GT(bytes, 0);
    EXPECT_EQ(center.posted[0].body, Reminder::body(3, bytes));
    EXPECT_TRUE(center.posted[0].body.contains(byteCountText(bytes)));
}

TEST_F(ReminderTest, NoCheckBeforeTheShelfHasLoaded) {
    expiredFiles(1, false);
    setLastReminder(utc(2026, 11, 1));
    reminder()->check();
    EXPECT_TRUE(center.posted.empty());
    EXPECT_EQ(lastReminder(), utc(2026, 11, 1));
}

TEST_F(ReminderTest, TheTestNotificationWithAndWithoutExpiredFiles) {
    expiredFiles(0);
    setLastReminder(utc(2026, 11, 1));
    {
        auto test = reminder(true);
        waitForPosts(1);
        ASSERT_EQ(center.posted.size(), 1u);
        EXPECT_EQ(center.posted[0].title, "Tijd om op te ruimen (proefmelding)");
        EXPECT_EQ(center.posted[0].body,
                  "Er is nu niets over de datum. Zo ziet de melding er op vrijdag uit.");
        // No check ran, and nothing was stored.
        EXPECT_EQ(lastReminder(), utc(2026, 11, 1));
    }
    expiredFiles(3);
    QSignalSpy changed(shelf.get(), &Shelf::itemsChanged);
    while (shelf->items(Freshness::expired).size() < 3 && changed.wait(2000)) {
    }
    center.posted.clear();
    auto test = reminder(true);
    waitForPosts(1);
    ASSERT_EQ(center.posted.size(), 1u);
    EXPECT_EQ(center.posted[0].title, "Tijd om op te ruimen (proefmelding)");
    EXPECT_TRUE(center.posted[0].body.startsWith("3 bestanden zijn over de datum ("));
}
