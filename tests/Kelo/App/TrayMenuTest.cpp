#include "TrayMenu.h"
#include "ExpiryStamp.h"
#include "LogCapture.h"
#include "LoginItem.h"
#include "RecordingCenter.h"
#include "ShelfSupport.h"
#include "TemporaryFolder.h"
#include "Updater.h"
#include "UserDefaults.h"

#include <fstream>

#include <gtest/gtest.h>

using namespace kelo;
namespace fs = std::filesystem;

namespace {

class TrayMenuTest : public ::testing::Test {
protected:
    TemporaryFolder folder;
    NoPresenter presenter;
    std::unique_ptr<Shelf> shelf;
    LoginItem loginItem{QStringLiteral("/usr/bin/kelo"),
                        QString::fromStdString((folder.path() / "autostart").string())};

    // A shelf of `expired` files past their date (the first since today) and two fresh ones.
    void shelfWithExpired(int expired) {
        const fs::path root = folder.path() / ("thuis" + std::to_string(expired));
        fs::create_directories(root);
        const Calendar calendar = Calendar::current();
        const Instant today = calendar.startOfDay(currentInstant());
        for (int i = 0; i < expired + 2; ++i) {
            std::ofstream(root / std::to_string(i)) << i;
            ASSERT_FALSE(
                writeStamp(calendar.adding(today, DateComponent::Day, i < expired ? -i : 40),
                           root / std::to_string(i), calendar));
        }
        shelf = shelfOver(root, presenter);
        ASSERT_TRUE(shelf->loaded());
    }
};

} // namespace

TEST_F(TrayMenuTest, EntriesFollowTheExpiredCountAndAskForTheShelf) {
    const std::pair<int, QString> cases[] = {
        {0, "Alles is nog vers"}, {1, "1 over de datum"}, {12, "12 over de datum"}};
    for (const auto &[expired, status] : cases) {
        shelfWithExpired(expired);
        TrayMenu tray(*shelf, loginItem);
        EXPECT_EQ(tray.statusLine()->text(), status);
        EXPECT_FALSE(tray.statusLine()->isEnabled());
        EXPECT_EQ(tray.cleanUp()->isEnabled(), expired > 0);
        // The window, with or without the review.
        QSignalSpy requested(&tray, &TrayMenu::showShelfRequested);
        tray.openShelf()->trigger();
        tray.cleanUp()->trigger();
        EXPECT_EQ(requested.count(), expired > 0 ? 2 : 1);
        EXPECT_FALSE(requested.value(0).value(0).toBool());
        EXPECT_EQ(requested.value(1).value(0).toBool(), expired > 0);
        EXPECT_EQ(tray.quit()->shortcut(), QKeySequence(QKeySequence::Quit));
    }
}

// The mark shows the entry as it is, also to a menu made afterwards; a write that failed (and is
// logged) leaves it unticked.
TEST_F(TrayMenuTest, StartAtLoginWritesTheEntryAndStaysUntickedWhenItCannot) {
    shelfWithExpired(0);
    TrayMenu(*shelf, loginItem).startAtLogin()->trigger();
    EXPECT_TRUE(loginItem.isEnabled());
    TrayMenu again(*shelf, loginItem);
    EXPECT_TRUE(again.startAtLogin()->isChecked());
    again.startAtLogin()->trigger();
    EXPECT_FALSE(loginItem.isEnabled());

    LoginItem blocked(QStringLiteral("/usr/bin/kelo"),
                      QString::fromStdString((folder.file("config") / "autostart").string()));
    LogCapture log;
    TrayMenu tray(*shelf, blocked);
    tray.startAtLogin()->trigger();
    EXPECT_FALSE(blocked.isEnabled());
    EXPECT_FALSE(tray.startAtLogin()->isChecked());
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_TRUE(log.lines()[0].starts_with("Kelo: login item: ")) << log.lines()[0];
}

// After the first separator, the (hidden) install entry and the check, before the login item.
TEST_F(TrayMenuTest, UpdateEntriesComeWithTheUpdater) {
    shelfWithExpired(0);
    TrayMenu tray(*shelf, loginItem);
    EXPECT_EQ(tray.checkForUpdates(), nullptr);
    UserDefaults defaults(QString::fromStdString((folder.path() / "Kelo.conf").string()));
    RecordingCenter notifications;
    Updater updater({}, defaults, notifications);
    tray.setUpdater(&updater);
    ASSERT_NE(tray.checkForUpdates(), nullptr);
    EXPECT_EQ(tray.checkForUpdates()->text(), "Zoek naar updates…");
    const QList<QAction *> actions = tray.menu().actions();
    const qsizetype at = actions.indexOf(tray.openShelf());
    EXPECT_TRUE(actions.value(at + 1)->isSeparator());
    EXPECT_EQ(
        actions.mid(at + 2, 3),
        (QList<QAction *>{tray.installUpdate(), tray.checkForUpdates(), tray.startAtLogin()}));
    EXPECT_FALSE(tray.installUpdate()->isVisible());
}
