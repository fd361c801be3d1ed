#include "TrayMenu.h"
#include "ExpiryStamp.h"
#include "LoginItem.h"
#include "NotificationCenter.h"
#include "Shelf.h"
#include "ShelfSupport.h"
#include "TemporaryFolder.h"
#include "Updater.h"
#include "UserDefaults.h"

#include <QSignalSpy>

#include <fstream>

#include <gtest/gtest.h>

using namespace kelo;
namespace fs = std::filesystem;

namespace {

class TrayMenuTest : public ::testing::Test {
protected:
    TemporaryFolder folder;
    fs::path root = folder.path() / "thuis";
    NoPresenter presenter;
    std::unique_ptr<Shelf> shelf;
    LoginItem loginItem{QStringLiteral("/usr/bin/kelo"),
                        QString::fromStdString((folder.path() / "autostart").string())};

    void shelfWithExpired(int expired) {
        fs::create_directories(root);
        const Calendar calendar = Calendar::current();
        const Instant today = calendar.startOfDay(currentInstant());
        for (int i = 0; i < expired + 2; ++i) {
            const auto file = root / ("f" + std::to_string(i));
            std::ofstream(file) << i;
            // The first `expired` files went past their date; two more are fresh.
            const int days = i < expired ? -i : 40;
            ASSERT_FALSE(
                writeStamp(calendar.adding(today, DateComponent::Day, days), file, calendar));
        }
        shelf = shelfOver(root, presenter);
        ASSERT_TRUE(shelf->loaded());
    }
};

} // namespace

TEST_F(TrayMenuTest, EntriesFollowTheExpiredCount) {
    const std::pair<int, QString> cases[] = {
        {0, "Alles is nog vers"}, {1, "1 over de datum"}, {12, "12 over de datum"}};
    for (const auto &[expired, status] : cases) {
        shelfWithExpired(expired);
        TrayMenu tray(*shelf, loginItem);
        EXPECT_EQ(tray.statusLine()->text(), status);
        EXPECT_FALSE(tray.statusLine()->isEnabled());
        EXPECT_EQ(tray.cleanUp()->isEnabled(), expired > 0);
        EXPECT_EQ(tray.quit()->shortcut(), QKeySequence(QKeySequence::Quit));
        fs::remove_all(root);
    }
}

TEST_F(TrayMenuTest, CommandsAskForTheShelfWithOrWithoutTheReview) {
    shelfWithExpired(2);
    TrayMenu tray(*shelf, loginItem);
    QSignalSpy requested(&tray, &TrayMenu::showShelfRequested);
    tray.openShelf()->trigger();
    tray.cleanUp()->trigger();
    ASSERT_EQ(requested.count(), 2);
    EXPECT_FALSE(requested.at(0).at(0).toBool());
    EXPECT_TRUE(requested.at(1).at(0).toBool());
}

TEST_F(TrayMenuTest, StartAtLoginShowsTheEntryAndWritesIt) {
    shelfWithExpired(0);
    {
        TrayMenu tray(*shelf, loginItem);
        EXPECT_FALSE(tray.startAtLogin()->isChecked());
        tray.startAtLogin()->trigger();
        EXPECT_TRUE(loginItem.isEnabled());
    }
    TrayMenu again(*shelf, loginItem);
    EXPECT_TRUE(again.startAtLogin()->isChecked());
    again.startAtLogin()->trigger();
    EXPECT_FALSE(loginItem.isEnabled());
}

namespace {

class SilentCenter : public NotificationCenter {
public:
    void checkServer(ServerAnswer answer) override { answer(true, {}); }
    void post(const Notification &, PostAnswer answer) override { answer(std::nullopt); }
};

} // namespace

TEST_F(TrayMenuTest, UpdateEntriesComeWithTheUpdater) {
    shelfWithExpired(0);
    TrayMenu tray(*shelf, loginItem);
    EXPECT_EQ(tray.checkForUpdates(), nullptr);
    UserDefaults defaults(QString::fromStdString((folder.path() / "Kelo.conf").string()));
    SilentCenter notifications;
    Updater updater({}, defaults, notifications);
    tray.setUpdater(&updater);
    ASSERT_NE(tray.checkForUpdates(), nullptr);
    EXPECT_EQ(tray.checkForUpdates()->text(), "Zoek naar updates…");
    // After the first separator, the install entry right above it, and both before the login item.
    const QList<QAction *> actions = tray.menu().actions();
    const auto at = [&](QAction *action) { return actions.indexOf(action); };
    EXPECT_TRUE(actions.value(at(tray.openShelf()) + 1)->isSeparator());
    EXPECT_EQ(at(tray.installUpdate()), at(tray.openShelf()) + 2);
    EXPECT_EQ(at(tray.checkForUpdates()), at(tray.installUpdate()) + 1);
    EXPECT_EQ(at(tray.startAtLogin()), at(tray.checkForUpdates()) + 1);
    EXPECT_FALSE(tray.installUpdate()->isVisible());
}
