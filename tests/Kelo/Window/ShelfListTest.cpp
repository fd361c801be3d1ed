// The shelf list over real stamped files: which sections and rows it shows, what a row says, what
// its buttons and menus do, and to which file.
#include "ShelfListView.h"
#include "StampedHome.h"

#include "FreshnessStyle.h"
#include "OpenFiles.h"
#include "ShelfListModel.h"
#include "ShelfRowDelegate.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTest>
#include <QToolTip>

using namespace kelo;
namespace fs = std::filesystem;
using Rows = std::vector<std::string>;

namespace {

class ShelfListTest : public StampedHome {
protected:
    ScopedEnvironment locale{"LC_ALL", "nl_NL.UTF-8"};
    std::unique_ptr<ShelfListView> view;
    std::vector<fs::path> opened, revealed;

    void showList() {
        loadShelf({disk});
        view = std::make_unique<ShelfListView>(*shelf);
        view->setFileOperations({[this](const fs::path &path) { opened.push_back(path); },
                                 [this](const fs::path &path) { revealed.push_back(path); }});
        view->resize(640, 480);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        view->doItemsLayout();
    }
    ShelfListModel &model() const { return view->listModel(); }

    QModelIndex rowOf(const fs::path &file) const { return model().indexOfPath(file, -1); }
    QModelIndex headerOf(Freshness freshness) const {
        for (int row = 0; row < model().rowCount(); ++row)
            if (model().isHeader(model().index(row)) && model().row(row).freshness == freshness)
                return model().index(row);
        return {};
    }

    // Chooses `text` in the menu of the row's button, or in its context menu.
    void choose(const fs::path &file, bool button, const QString &text) {
        const QPoint at = button ? view->actionsButtonRect(rowOf(file)).center()
                                 : view->visualRect(rowOf(file)).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
        if (button)
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
        else
            QApplication::sendEvent(view->viewport(), &event);
        choose(text);
    }
    void choose(const QString &text) {
        QMenu *menu = view->openMenu();
        ASSERT_TRUE(menu);
        for (QAction *action : menu->findChildren<QAction *>())
            if (action->text() == text)
                action->trigger();
        menu->close();
    }

    // Each row as "<section> <count>" or its file's name.
    Rows listed() const {
        Rows rows;
        for (int row = 0; row < model().rowCount(); ++row) {
            const QModelIndex index = model().index(row);
            rows.push_back(model().isHeader(index)
                               ? (index.data().toString() + " " +
                                  index.data(ShelfListModel::CountRole).toString())
                                     .toStdString()
                               : std::string(model().item(index)->fileName()));
        }
        return rows;
    }
};

} // namespace

// Sections in their fixed order, empty ones left out; days left are red only when expired while
// the badge, light or dark, keeps its section's colour; the folder shortens the home folder only
// on a path boundary; the badge's month is in upper case in the user's locale. Only the expired
// header's button starts the review.
TEST_F(ShelfListTest, SectionsRowTextsBadgesAndTheCleanUpButton) {
    const struct {
        fs::path file;
        int days;
        const char *daysLeft;
        Freshness freshness;
        QString folder;
    } cases[] = {
        {home / "boven.txt", -2, "2 dagen over de datum", Freshness::expired, "~"},
        {home / "Werk/onder.txt", 3, "nog 3 dagen", Freshness::thisWeek, "~/Werk"},
        {disk / "thuis2/naast.txt", 60, "nog 60 dagen", Freshness::fresh,
         QString::fromStdString((disk / "thuis2").string())},
    };
    for (const auto &c : cases)
        stamped(c.file, c.days);
    const fs::path dated = home / "datum.txt";
    std::ofstream(dated) << "x";
    ASSERT_FALSE(writeStamp(*calendar.parseStampText("2031-12-05"), dated, calendar));
    showList();
    EXPECT_EQ(listed(), (Rows{"Over de datum 1", "boven.txt", "Deze week over de datum 1",
                              "onder.txt", "Nog lang houdbaar 2", "naast.txt", "datum.txt"}));
    const auto texts = view->rowDelegate().itemTexts(*model().item(rowOf(dated)), view->palette());
    EXPECT_EQ(texts.dayMonth + " " + texts.year, "5 DEC 2031");
    for (const bool dark : {false, true}) {
        if (dark)
            view->setPalette(QPalette(QColor(0x1e, 0x1e, 0x1e)));
        for (const auto &c : cases) {
            const auto row =
                view->rowDelegate().itemTexts(*model().item(rowOf(c.file)), view->palette());
            EXPECT_EQ(row.folder, c.folder);
            EXPECT_EQ(row.daysLeft.toStdString(), c.daysLeft);
            EXPECT_EQ(row.daysLeftColor, c.days < 0 ? freshnessColor(c.freshness, dark)
                                                    : secondaryTextColor(view->palette()));
            EXPECT_EQ(row.badgeColor, freshnessColor(c.freshness, dark));
        }
    }
    const QRect cleanUp = view->cleanUpButtonRect(headerOf(Freshness::expired));
    EXPECT_TRUE(view->cleanUpButtonRect(headerOf(Freshness::thisWeek)).isEmpty());
    QTest::mouseClick(
        view->viewport(), Qt::LeftButton, {},
        {cleanUp.center().x(), view->visualRect(headerOf(Freshness::thisWeek)).center().y()});
    EXPECT_FALSE(shelf->reviewing());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cleanUp.center());
    EXPECT_TRUE(shelf->reviewing());
}

// The row's button and the context menu offer the same entries, and each acts on the file the
// menu was opened for, even when the rows move under the open menu; a double click on a row
// opens its file; resting on a row shows its full path.
TEST_F(ShelfListTest, MenusAndClicksActOnTheRowTheyWereOpenedFor) {
    const fs::path paspoort = stamped(home / "paspoort.pdf", 400);
    const fs::path brief = stamped(home / "Muziek/brief.odt", 12);
    const fs::path een = stamped(home / "een.txt", -1);
    const fs::path twee = stamped(home / "twee.txt", -1);
    showList();
    choose(brief, false, "Toon in map");
    EXPECT_EQ(revealed, std::vector<fs::path>{brief});
    choose(brief, true, "Open");
    const QRect row = view->visualRect(rowOf(paspoort));
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, {row.left() + 2, row.center().y()});
    EXPECT_EQ(opened, (std::vector<fs::path>{brief, paspoort}));
    QHelpEvent help(QEvent::ToolTip, row.center(), view->viewport()->mapToGlobal(row.center()));
    QApplication::sendEvent(view->viewport(), &help);
    EXPECT_EQ(QToolTip::text(), QString::fromStdString(paspoort.string()));
    QToolTip::hideText();

    // The other expired file leaves the shelf under the open menu.
    const QPoint at = view->actionsButtonRect(rowOf(twee)).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    shelf->trash({*model().item(rowOf(een))});
    choose("Naar prullenbak");
    EXPECT_TRUE(inTrash(twee));
    choose(brief, true, "Altijd houden");
    EXPECT_TRUE(fs::exists(brief));
    EXPECT_FALSE(readStamp(brief, calendar));
    EXPECT_EQ(listed(), (Rows{"Nog lang houdbaar 1", "paspoort.pdf"}));
}

// After a row's action the keyboard goes on where it was: on the same file, or on the one that
// took its place when the file left the list.
TEST_F(ShelfListTest, TheKeyboardStaysOnTheRowAfterItsAction) {
    const fs::path a = stamped(home / "a.txt", -3);
    stamped(home / "b.txt", -2);
    const fs::path d = stamped(home / "d.txt", 3);
    showList();
    view->activateWindow();
    view->setFocus();
    const auto key = [&](Qt::Key pressed) { QTest::keyClick(view.get(), pressed); };
    // The Menu key, then an entry.
    const auto chooseByKey = [&](const QString &text) {
        QContextMenuEvent event(QContextMenuEvent::Keyboard, {}, {});
        QApplication::sendEvent(view.get(), &event);
        choose(text);
    };
    const auto onRow = [&](const fs::path &file) {
        EXPECT_EQ(QApplication::focusWidget(), view.get());
        EXPECT_EQ(view->selectionModel()->selectedIndexes(), QModelIndexList{rowOf(file)});
    };
    key(Qt::Key_Home);
    key(Qt::Key_Down);
    chooseByKey("1 week vanaf vandaag");
    onRow(a);
    key(Qt::Key_Up);
    onRow(d);
    chooseByKey("Naar prullenbak");
    EXPECT_TRUE(inTrash(d));
    onRow(a);
}

TEST(ShelfListFiles, UrlsKeepTheBytesOfNames) {
    EXPECT_EQ(fileUrl("/tmp/a b/caf\xe9.txt").toEncoded(), "file:///tmp/a%20b/caf%E9.txt");
    EXPECT_EQ(fileUrl("/tmp/Bücher/é.txt"), QUrl::fromLocalFile("/tmp/Bücher/é.txt"));
}
