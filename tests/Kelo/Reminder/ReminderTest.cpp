#include "Reminder.h"
#include "ErrorPresenter.h"
#include "ExpiryStamp.h"
#include "NotificationCenter.h"
#include "ScopedEnvironment.h"
#include "Shelf.h"
#include "ShelfSupport.h"
#include "ShowShelfRequests.h"
#include "TagQuery.h"
#include "TemporaryFolder.h"
#include "UserDefaults.h"
#include "WeeklyMoment.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTimeZone>

#include <fstream>

#include <gtest/gtest.h>

using namespace kelo;
using namespace std::chrono;
namespace fs = std::filesystem;

namespace {

constexpr WeeklyMoment friday16{6, 16};

Instant utc(int y, unsigned m, unsigned d, int hour = 0, int minute = 0, int second = 0) {
    return Instant(sys_days(year(y) / month(m) / day(d)) + hours(hour) + minutes(minute) +
                   seconds(second));
}

class RecordingCenter : public NotificationCenter {
public:
    void requestAuthorization(AuthorizationAnswer answer) override { answer(true, {}); }
    void post(const Notification &notification, PostAnswer answer) override {
        posted.push_back(notification);
        answer(std::nullopt);
    }
    void click() { emit clicked(); }
    std::vector<Notification> posted;
};

} // namespace

TEST(WeeklyMoment, MostRecentFridayAtFour) {
    const Calendar amsterdam = Calendar::forZone("Europe/Amsterdam");
    const Instant friday = utc(2026, 12, 4, 15); // Friday 4 December 2026, 16:00 local
    EXPECT_EQ(friday16.mostRecent(friday + milliseconds(500), amsterdam),
              friday + milliseconds(500));
    EXPECT_EQ(friday16.mostRecent(friday - seconds(1), amsterdam), friday - days(7));
    EXPECT_EQ(friday16.mostRecent(utc(2026, 12, 5, 8), amsterdam), friday);   // Saturday 09:00
    EXPECT_EQ(friday16.mostRecent(utc(2026, 12, 10, 12), amsterdam), friday); // Thursday
    // Across the autumn change the answer is still 16:00 local time.
    EXPECT_EQ(friday16.mostRecent(utc(2026, 10, 26, 12), amsterdam), utc(2026, 10, 23, 14));
    EXPECT_EQ(friday16.mostRecent(utc(2026, 10, 31, 12), amsterdam), utc(2026, 10, 30, 15));
}

TEST(WeeklyMoment, ClockChangesOnFridayAtFour) {
    // Summer time starts on the last Friday of March at 16:00: 16:00 never shows; 17:00 counts.
    const Calendar forward = Calendar::forZone("CET-1CEST,M3.5.5/16,M10.5.0/3");
    EXPECT_EQ(friday16.mostRecent(utc(2026, 3, 28, 12), forward), utc(2026, 3, 27, 15));
    // Summer time ends on the last Friday of October at 17:00: 16:00 comes twice; the first.
    const Calendar back = Calendar::forZone("CET-1CEST,M3.5.0,M10.5.5/17");
    EXPECT_EQ(friday16.mostRecent(utc(2026, 10, 30, 20), back), utc(2026, 10, 30, 14));
    EXPECT_EQ(friday16.mostRecent(utc(2026, 10, 30, 15, 30), back), utc(2026, 10, 30, 14));
}

namespace {

class ReminderTest : public ::testing::Test {
protected:
    ScopedEnvironment tz{"TZ", "Europe/Amsterdam"};
    TemporaryFolder folder;
    fs::path root = folder.path() / "thuis";
    NoPresenter presenter;
    RecordingCenter center;
    std::unique_ptr<Shelf> shelf;
    std::unique_ptr<UserDefaults> defaults;
    Instant now = utc(2026, 12, 4, 15, 30); // Friday 16:30

    void SetUp() override {
        fs::create_directories(root);
        defaults = std::make_unique<UserDefaults>(
            QString::fromStdString((folder.path() / "Kelo.conf").string()));
    }

    void stampExpired(int count) {
        const Calendar calendar = Calendar::current();
        for (int i = 0; i < count; ++i) {
            const auto file = root / ("oud-" + std::to_string(i) + ".txt");
            std::ofstream(file) << std::string(5000, 'x');
            ASSERT_FALSE(
                writeStamp(calendar.startOfDay(currentInstant()) - days(3), file, calendar));
        }
    }

    void loadShelf() {
        TagIndex::Options options;
        options.scope.roots.push_back({root, true});
        shelf = std::make_unique<Shelf>(std::make_unique<TagQuery>(std::move(options)), presenter);
        QSignalSpy loaded(shelf.get(), &Shelf::loadedChanged);
        ASSERT_TRUE(loaded.wait(5000));
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
};

} // namespace

TEST_F(ReminderTest, AFirstStartWaitsForTheNextFriday) {
    stampExpired(2);
    loadShelf();
    now = utc(2026, 12, 4, 16); // Friday 17:00
    auto first = reminder();
    ASSERT_TRUE(defaults->lastReminder());
    first->check();
    EXPECT_TRUE(center.posted.empty());
    now = utc(2026, 12, 11, 15, 1); // the next Friday, 16:01
    first->check();
    ASSERT_EQ(center.posted.size(), 1u);
    EXPECT_EQ(center.posted[0].title, "Tijd om op te ruimen");
    EXPECT_TRUE(center.posted[0].body.startsWith("2 bestanden zijn over de datum ("))
        << center.posted[0].body.toStdString();
    EXPECT_TRUE(center.posted[0].body.endsWith(")."));
}

TEST_F(ReminderTest, AMissedWeekRemindsOnceAtTheNextCheck) {
    stampExpired(1);
    loadShelf();
    setLastReminder(utc(2026, 11, 20, 15, 10)); // two Fridays ago
    now = utc(2026, 12, 7, 9);                  // Monday
    auto weekly = reminder();
    QTest::qWait(100); // the start-up check
    ASSERT_EQ(center.posted.size(), 1u);
    EXPECT_TRUE(center.posted[0].body.startsWith("1 bestand is over de datum ("));
    // A wake and the timer after the same moment: nothing more.
    weekly->check();
    weekly->check();
    EXPECT_EQ(center.posted.size(), 1u);
    EXPECT_EQ(defaults->lastReminder()->toMSecsSinceEpoch(), now.time_since_epoch().count());
}

TEST_F(ReminderTest, ABadStoredValueCountsAsTheDistantPast) {
    stampExpired(1);
    loadShelf();
    QSettings((QString::fromStdString((folder.path() / "Kelo.conf").string())),
              QSettings::IniFormat)
        .setValue("lastReminder", "gisteren");
    defaults = std::make_unique<UserDefaults>(
        QString::fromStdString((folder.path() / "Kelo.conf").string()));
    auto weekly = reminder();
    weekly->check();
    EXPECT_EQ(center.posted.size(), 1u);
    ASSERT_TRUE(defaults->lastReminder());
}

TEST_F(ReminderTest, TheClockSetBackWaitsForALaterMoment) {
    stampExpired(1);
    loadShelf();
    setLastReminder(utc(2026, 12, 4, 15, 30));
    now = utc(2026, 11, 30, 12); // Monday before it
    auto weekly = reminder();
    weekly->check();
    EXPECT_TRUE(center.posted.empty());
    now = utc(2026, 12, 11, 15, 0); // the next Friday 16:00 after the stored time
    weekly->check();
    EXPECT_EQ(center.posted.size(), 1u);
}

TEST_F(ReminderTest, NothingExpiredHandlesTheWeekQuietly) {
    loadShelf();
    setLastReminder(utc(2026, 11, 27, 16));
    auto weekly = reminder();
    weekly->check();
    EXPECT_TRUE(center.posted.empty());
    EXPECT_EQ(defaults->lastReminder()->toMSecsSinceEpoch(), now.time_since_epoch().count());
}

TEST_F(ReminderTest, NoCheckBeforeTheShelfHasLoaded) {
    TagIndex::Options options;
    options.scope.roots.push_back({root, true});
    shelf = std::make_unique<Shelf>(std::make_unique<TagQuery>(std::move(options)), presenter);
    setLastReminder(utc(2026, 11, 1));
    auto weekly = reminder();
    weekly->check();
    EXPECT_TRUE(center.posted.empty());
    EXPECT_EQ(defaults->lastReminder()->toMSecsSinceEpoch(),
              utc(2026, 11, 1).time_since_epoch().count());
}

TEST_F(ReminderTest, TheTestNotificationWithAndWithoutExpiredFiles) {
    loadShelf();
    setLastReminder(utc(2026, 11, 1));
    {
        auto test = reminder(true);
        QTest::qWait(100);
        ASSERT_EQ(center.posted.size(), 1u);
        EXPECT_EQ(center.posted[0].title, "Tijd om op te ruimen (proefmelding)");
        EXPECT_EQ(center.posted[0].body,
                  "Er is nu niets over de datum. Zo ziet de melding er op vrijdag uit.");
        // No check ran, and nothing was stored.
        EXPECT_EQ(defaults->lastReminder()->toMSecsSinceEpoch(),
                  utc(2026, 11, 1).time_since_epoch().count());
    }
    stampExpired(3);
    QSignalSpy changed(shelf.get(), &Shelf::itemsChanged);
    while (shelf->items(Freshness::expired).size() < 3 && changed.wait(2000)) {
    }
    center.posted.clear();
    auto test = reminder(true);
    QTest::qWait(100);
    ASSERT_EQ(center.posted.size(), 1u);
    EXPECT_EQ(center.posted[0].title, "Tijd om op te ruimen (proefmelding)");
    EXPECT_TRUE(center.posted[0].body.startsWith("3 bestanden zijn over de datum ("));
}

TEST_F(ReminderTest, AClickAsksForTheShelfWithTheReview) {
    loadShelf();
    auto weekly = reminder();
    QSignalSpy requested(&ShowShelfRequests::instance(), &ShowShelfRequests::requested);
    center.click();
    ASSERT_EQ(requested.count(), 1);
    EXPECT_TRUE(ShowShelfRequests::wantsReview(requested.at(0).at(0).toMap()));
}

TEST(ReminderBody, TextsForOneAndMore) {
    EXPECT_EQ(Reminder::body(1, 4'200'000), "1 bestand is over de datum (4,2 MB).");
    EXPECT_EQ(Reminder::body(3, 4'200'000), "3 bestanden zijn over de datum (4,2 MB).");
    EXPECT_EQ(Reminder::body(1234, 1'000), "1234 bestanden zijn over de datum (1 kB).");
}
