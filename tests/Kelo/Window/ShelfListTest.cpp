// The shelf list over real stamped files: which sections and rows it shows, what a row says, what
// its buttons and menus do, and to which file.
#include "ShelfListView.h"
#include "StampedHome.h"

#include "FileIcons.h"
#include "FreshnessStyle.h"
#include "OpenFiles.h"
#include "ShelfListModel.h"
#include "ShelfRowDelegate.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QImage>
#include <QMenu>
#include <QPointer>
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

    // The row of a file, or (with `header`) the header of a section.
    QModelIndex rowOf(const fs::path &file, std::optional<Freshness> header = {}) const {
        for (int row = 0; row < model().rowCount(); ++row) {
            const QModelIndex index = model().index(row);
            if (header ? model().isHeader(index) &&
                             index.data(ShelfListModel::FreshnessRole).toInt() == int(*header)
                       : !model().isHeader(index) && model().item(index)->path == file)
                return index;
        }
        return {};
    }
    QModelIndex headerOf(Freshness freshness) const { return rowOf({}, freshness); }

    // The menu of the row's button, or its context menu.
    QMenu *menuOf(const fs::path &file, bool button) {
        const QPoint at = button ? view->actionsButtonRect(rowOf(file)).center()
                                 : view->visualRect(rowOf(file)).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
        if (button)
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
        else
            QApplication::sendEvent(view->viewport(), &event);
        EXPECT_TRUE(view->openMenu()) << file;
        return view->openMenu();
    }
    void click(const QPoint &at) { QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at); }

    // Each row as "header <freshness> <count>" or "item <file name>".
    Rows listed() const {
        Rows rows;
        for (int row = 0; row < model().rowCount(); ++row) {
            const QModelIndex index = model().index(row);
            rows.push_back(model().isHeader(index)
                               ? "header " + index.data().toString().toStdString() + " " +
                                     index.data(ShelfListModel::CountRole).toString().toStdString()
                               : "item " + model().item(index)->path.filename().string());
        }
        return rows;
    }
};

// The entries of a menu, submenus inline, separators as "-".
Rows entries(const QMenu *menu) {
    Rows texts;
    for (const QAction *action : menu->actions()) {
        texts.push_back(action->isSeparator() ? "-" : action->text().toStdString());
        if (action->menu())
            for (const std::string &entry : entries(action->menu()))
                texts.back() += " [" + entry + "]";
    }
    return texts;
}

QAction *entry(const QMenu *menu, const QString &text) {
    for (QAction *action : menu->findChildren<QAction *>())
        if (action->text() == text)
            return action;
    ADD_FAILURE() << "no entry " << text.toStdString();
    return nullptr;
}

// The pixels in `area` of `picture` close to `colour`.
int pixels(const QImage &picture, const QRect &area, const QColor &colour) {
    int found = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor pixel = picture.pixelColor(x, y);
            found += std::abs(pixel.red() - colour.red()) +
                         std::abs(pixel.green() - colour.green()) +
                         std::abs(pixel.blue() - colour.blue()) <
                     60;
        }
    return found;
}

} // namespace

// Sections in their fixed order, empty ones left out, following the shelf; only the expired
// header has the clean-up button. Days left are red only when expired while the badge keeps its
// section's colour; the folder shortens the home folder only on a path boundary; the badge's
// month is in upper case in the user's locale.
TEST_F(ShelfListTest, SectionsRowTextsBadgesAndTheCleanUpButton) {
    const struct {
        fs::path file;
        int days;
        const char *daysLeft;
        Freshness freshness;
        QString folder;
    } cases[] = {
        {home / "boven.txt", -2, "2 dagen over de datum", Freshness::expired, "~"},
        {home / "Documenten/Werk/onder.txt", 3, "nog 3 dagen", Freshness::thisWeek,
         "~/Documenten/Werk"},
        {disk / "thuis2/naast.txt", 20, "nog 20 dagen", Freshness::thisMonth,
         QString::fromStdString((disk / "thuis2").string())},
        {home / "lang.txt", 60, "nog 60 dagen", Freshness::fresh, "~"},
    };
    for (const auto &c : cases)
        stamped(c.file, c.days);
    const fs::path dated = home / "datum.txt";
    std::ofstream(dated) << "x";
    ASSERT_FALSE(writeStamp(*calendar.parseStampText("2031-12-05"), dated, calendar));
    showList();
    EXPECT_EQ(listed(),
              (Rows{"header Over de datum 1", "item boven.txt", "header Deze week over de datum 1",
                    "item onder.txt", "header Binnen een maand 1", "item naast.txt",
                    "header Nog lang houdbaar 2", "item lang.txt", "item datum.txt"}));
    EXPECT_FALSE(model().flags(headerOf(Freshness::expired)) & Qt::ItemIsSelectable);
    EXPECT_TRUE(model().flags(rowOf(dated)) & Qt::ItemIsSelectable);
    const QPalette palette = view->palette();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        const auto texts = view->rowDelegate().itemTexts(*model().item(rowOf(c.file)), palette);
        EXPECT_EQ(texts.name.toStdString(), c.file.filename().string());
        EXPECT_EQ(texts.folder, c.folder);
        EXPECT_EQ(texts.daysLeft.toStdString(), c.daysLeft);
        EXPECT_EQ(texts.daysLeftColor, c.days < 0 ? freshnessColor(c.freshness, isDark(palette))
                                                  : secondaryTextColor(palette));
        EXPECT_EQ(texts.badgeColor, freshnessColor(c.freshness, isDark(palette)));
    }
    const auto texts = view->rowDelegate().itemTexts(*model().item(rowOf(dated)), palette);
    EXPECT_EQ(texts.dayMonth + " " + texts.year, "5 DEC 2031");

    // Each badge in its section's colour and the clean-up button in the link colour, light and
    // dark; the pictures are left for a person to look at (KELO_LIST_PICTURE, or shelf-list.png
    // in the build folder).
    const QRect cleanUp = view->cleanUpButtonRect(headerOf(Freshness::expired));
    ASSERT_FALSE(cleanUp.isEmpty());
    QString picture = qEnvironmentVariable("KELO_LIST_PICTURE", KELO_DEFAULT_LIST_PICTURE);
    for (const bool dark : {false, true}) {
        if (dark)
            view->setPalette(QPalette(QColor(0x1e, 0x1e, 0x1e)));
        ASSERT_EQ(isDark(view->palette()), dark);
        const QImage image = view->viewport()->grab().toImage();
        EXPECT_TRUE(image.save(dark ? picture.insert(picture.lastIndexOf('.'), "-dark") : picture));
        EXPECT_GT(pixels(image, cleanUp, view->palette().color(QPalette::Link)), 10);
        for (const auto &c : cases) {
            const QRect badge = view->actionsButtonRect(rowOf(c.file)).adjusted(-90, -6, -24, 6);
            EXPECT_GT(pixels(image, badge, freshnessColor(c.freshness, dark)), 40)
                << c.file << (dark ? " dark" : " light");
        }
    }
    // The spot of the button in the other headers, and the rest of the expired one, do nothing.
    for (const Freshness other : {Freshness::thisWeek, Freshness::thisMonth, Freshness::fresh}) {
        EXPECT_TRUE(view->cleanUpButtonRect(headerOf(other)).isEmpty());
        click({cleanUp.center().x(), view->visualRect(headerOf(other)).center().y()});
    }
    click(view->visualRect(headerOf(Freshness::expired)).center());
    EXPECT_FALSE(shelf->reviewing());
    click(cleanUp.center());
    EXPECT_TRUE(shelf->reviewing());

    shelf->trash({*model().item(rowOf(home / "boven.txt"))});
    EXPECT_EQ(listed().front(), "header Deze week over de datum 1");
}

// The row's button and the context menu offer the same entries, and each acts on the file the
// menu was opened for, even when the rows move under the open menu; a double click anywhere on
// a row opens its file; resting on a row shows its full path.
TEST_F(ShelfListTest, MenusAndClicksActOnTheRowTheyWereOpenedFor) {
    const fs::path paspoort = stamped(home / "paspoort.pdf", 400);
    const fs::path brief = stamped(home / "Muziek/brief.odt", 12);
    const fs::path een = stamped(home / "een.txt", -1);
    const fs::path twee = stamped(home / "twee.txt", -1);
    showList();
    const Rows expected = {"Open",
                           "Toon in map",
                           "-",
                           "Verlengen [1 week vanaf vandaag] [1 maand vanaf vandaag] [3 maanden "
                           "vanaf vandaag] [1 jaar vanaf vandaag]",
                           "Altijd houden",
                           "-",
                           "Naar prullenbak"};
    QMenu *context = menuOf(brief, false);
    ASSERT_TRUE(context && context->isVisible());
    EXPECT_EQ(entries(context), expected);
    // Chosen with the mouse, an entry closes the menu, which goes away.
    const QPointer<QMenu> chosen = context;
    QTest::mouseClick(context, Qt::LeftButton, {},
                      context->actionGeometry(entry(context, "Toon in map")).center());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(chosen);
    EXPECT_EQ(revealed, std::vector<fs::path>{brief});
    QMenu *button = menuOf(brief, true);
    ASSERT_TRUE(button && button->isVisible());
    EXPECT_EQ(entries(button), expected);
    EXPECT_EQ(button->pos(),
              view->viewport()->mapToGlobal(view->actionsButtonRect(rowOf(brief)).bottomLeft()));
    entry(button, "Open")->trigger();
    button->close();

    const QRect row = view->visualRect(rowOf(brief));
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, {row.left() + 2, row.center().y()});
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, {row.center().x(), row.top() + 1});
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {},
                       view->visualRect(headerOf(Freshness::thisMonth)).center());
    EXPECT_EQ(opened, (std::vector<fs::path>{brief, brief, brief}));
    QHelpEvent help(QEvent::ToolTip, row.center(), view->viewport()->mapToGlobal(row.center()));
    QApplication::sendEvent(view->viewport(), &help);
    EXPECT_EQ(QToolTip::text(), QString::fromStdString(brief.string()));
    QToolTip::hideText();

    // Extending by a week counts from today.
    QMenu *menu = menuOf(paspoort, false);
    entry(menu, "1 week vanaf vandaag")->trigger();
    menu->close();
    EXPECT_EQ(readStamp(paspoort, calendar), calendar.adding(today, DateComponent::Day, 7));
    // The other expired file leaves the shelf under the open menu.
    menu = menuOf(twee, true);
    shelf->trash({*model().item(rowOf(een))});
    entry(menu, "Naar prullenbak")->trigger();
    menu->close();
    EXPECT_TRUE(inTrash(twee));
    menu = menuOf(brief, false);
    entry(menu, "Altijd houden")->trigger();
    menu->close();
    EXPECT_TRUE(fs::exists(brief));
    EXPECT_FALSE(readStamp(brief, calendar));
    EXPECT_EQ(listed(), (Rows{"header Deze week over de datum 1", "item paspoort.pdf"}));
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
    const auto key = [](Qt::Key pressed) {
        ASSERT_TRUE(QApplication::focusWidget());
        QTest::keyClick(QApplication::focusWidget(), pressed);
    };
    // The Menu key.
    const auto menuKey = [] {
        QContextMenuEvent event(QContextMenuEvent::Keyboard, {}, {});
        QApplication::sendEvent(QApplication::focusWidget(), &event);
    };
    const auto choose = [&](const QString &text) {
        menuKey();
        QMenu *menu = view->openMenu();
        ASSERT_TRUE(menu);
        entry(menu, text)->trigger();
        menu->close();
    };
    const auto onRow = [&](const fs::path &file) {
        EXPECT_EQ(QApplication::focusWidget(), view.get());
        EXPECT_EQ(view->currentIndex(), rowOf(file));
        EXPECT_EQ(view->selectionModel()->selectedIndexes(), QModelIndexList{rowOf(file)});
    };
    key(Qt::Key_Home);
    key(Qt::Key_Down);
    onRow(a);
    choose(QStringLiteral("1 week vanaf vandaag"));
    onRow(a);
    key(Qt::Key_Up);
    onRow(d);
    choose(QStringLiteral("Naar prullenbak"));
    EXPECT_TRUE(inTrash(d));
    onRow(a);
    menuKey();
    EXPECT_TRUE(view->openMenu());
}

TEST(ShelfListFiles, UrlsKeepTheBytesOfNamesAndIconsComeFromTheNameAndFoldersFromTheDisk) {
    EXPECT_EQ(fileUrl("/tmp/a b/caf\xe9.txt").toEncoded(), "file:///tmp/a%20b/caf%E9.txt");
    EXPECT_EQ(fileUrl("/tmp/Bücher/é.txt"), QUrl::fromLocalFile("/tmp/Bücher/é.txt"));
    TemporaryFolder folder;
    fs::create_directories(folder.path() / "Foto's");
    FileIcons icons;
    EXPECT_EQ(icons.typeName(folder.file("brief.pdf")), "application/pdf");
    EXPECT_EQ(icons.typeName(folder.path() / "Foto's"), "inode/directory");
    EXPECT_EQ(icons.typeName(folder.file("LEESMIJ")), "application/octet-stream");
    EXPECT_EQ(icons.icon(folder.path() / "Foto's", 32, 2.0, Qt::gray).size(), QSize(64, 64));
}
