#include "TrayMenu.h"
#include "ExpiryStamp.h"
#include "LogCapture.h"
#include "LoginItem.h"
#include "ShelfSupport.h"
#include "TemporaryFolder.h"

#include <fstream>

#include <gtest/gtest.h>

using namespace kelo;

namespace {

// Two files past their date and one fresh, on the shelf.
class TrayMenuTest : public ::testing::Test {
protected:
    TemporaryFolder folder;
    NoPresenter presenter;
    std::unique_ptr<Shelf> shelf;
    LoginItem loginItem{QStringLiteral("/usr/bin/kelo"),
                        QString::fromStdString((folder.path() / "autostart").string())};

    TrayMenuTest() {
        const Calendar calendar = Calendar::current();
        const Instant today = calendar.startOfDay(currentInstant());
        for (const int days : {-1, 0, 40}) {
            const auto file = folder.file(std::to_string(days));
            std::ofstream(file) << days;
            EXPECT_FALSE(
                writeStamp(calendar.adding(today, DateComponent::Day, days), file, calendar));
        }
        shelf = shelfOver(folder.path(), presenter);
    }
};

} // namespace

// The status line counts in the plural; "Schap openen" asks for the window, "Opruimen…" for the
// review.
TEST_F(TrayMenuTest, EntriesFollowTheExpiredCountAndAskForTheShelf) {
    TrayMenu tray(*shelf, loginItem);
    EXPECT_EQ(tray.statusLine()->text(), "2 over de datum");
    QSignalSpy requested(&tray, &TrayMenu::showShelfRequested);
    tray.openShelf()->trigger();
    tray.cleanUp()->trigger();
    ASSERT_EQ(requested.count(), 2);
    EXPECT_FALSE(requested.value(0).value(0).toBool());
    EXPECT_TRUE(requested.value(1).value(0).toBool());
}

// The mark shows the entry as it is, also to a menu made afterwards; a write that failed (and is
// logged) leaves it unticked.
TEST_F(TrayMenuTest, StartAtLoginWritesTheEntryAndStaysUntickedWhenItCannot) {
    TrayMenu(*shelf, loginItem).startAtLogin()->trigger();
    EXPECT_TRUE(loginItem.isEnabled());
    TrayMenu again(*shelf, loginItem);
    EXPECT_TRUE(again.startAtLogin()->isChecked());
    again.startAtLogin()->trigger();
    EXPECT_FALSE(loginItem.isEnabled());

    LoginItem blocked(QStringLiteral("/usr/bin/kelo"),
                      QString::fromStdString((folder.file("0") / "autostart").string()));
    LogCapture log;
    TrayMenu tray(*shelf, blocked);
    tray.startAtLogin()->trigger();
    EXPECT_FALSE(blocked.isEnabled());
    EXPECT_FALSE(tray.startAtLogin()->isChecked());
    EXPECT_EQ(log.lines().size(), 1u);
}
