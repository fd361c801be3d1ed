// The shelf list over real stamped files: which sections and rows it shows, what a row says, what
// its buttons and menus do, and to which file.
#include "ShelfListView.h"
#include "StampedHome.h"

#include "FileIcons.h"
#include "FolderText.h"
#include "FreshnessStyle.h"
#include "RowActions.h"
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
#include <functional>

using namespace kelo;
namespace fs = std::filesystem;
using Rows = std::vector<std::string>;

namespace {

class ShelfListTest : public StampedHome {
protected:
    std::unique_ptr<ShelfListView> view;
    std::vector<fs::path> opened;
    std::vector<fs::path> revealed;

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

    QModelIndex rowWhere(const std::function<bool(const QModelIndex &)> &wanted) const {
        for (int row = 0; row < model().rowCount(); ++row)
            if (wanted(model().index(row)))
                return model().index(row);
        return {};
    }
    QModelIndex rowOf(const fs::path &file) const {
        const QModelIndex found = rowWhere([&](const QModelIndex &index) {
            return !model().isHeader(index) && model().item(index)->path == file;
        });
        EXPECT_TRUE(found.isValid()) << "no row for " << file;
        return found;
    }
    QModelIndex headerOf(Freshness freshness) const {
        return rowWhere([&](const QModelIndex &index) {
            return model().isHeader(index) &&
                   index.data(ShelfListModel::FreshnessRole).toInt() == static_cast<int>(freshness);
        });
    }

    ShelfRowDelegate::ItemTexts textsOf(const fs::path &file) const {
        return view->rowDelegate().itemTexts(*model().item(rowOf(file)), view->palette());
    }

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
        std::string text = action->isSeparator() ? "-" : action->text().toStdString();
        if (action->menu()) {
            text += " >";
            for (const std::string &entry : entries(action->menu()))
                text += " [" + entry + "]";
        }
        texts.push_back(text);
    }
    return texts;
}

QAction *entry(const QMenu *menu, const QString &text, bool top = true) {
    for (QAction *action : menu->actions()) {
        if (action->text() == text)
            return action;
        if (QAction *found = action->menu() ? entry(action->menu(), text, false) : nullptr)
            return found;
    }
    if (top)
        ADD_FAILURE() << "no entry " << text.toStdString();
    return nullptr;
}

// The pixels in `area` of `picture` that `match`.
template <typename Match> int pixels(const QImage &picture, const QRect &area, Match match) {
    int found = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            found += match(picture.pixelColor(x, y));
    return found;
}

} // namespace

TEST_F(ShelfListTest, SectionsFollowTheFixedOrderAndEmptyOnesAreLeftOut) {
    stamped(home / "verzekering.pdf", 100);
    stamped(home / "oud.txt", -2);
    stamped(home / "vandaag.txt", 0);
    stamped(home / "contract.odt", 20);
    showList();
    EXPECT_EQ(listed(), (Rows{"header Over de datum 2", "item oud.txt", "item vandaag.txt",
                              "header Binnen een maand 1", "item contract.odt",
                              "header Nog lang houdbaar 1", "item verzekering.pdf"}));
    // Headers are never selected; items are.
    EXPECT_FALSE(model().flags(headerOf(Freshness::expired)) & Qt::ItemIsSelectable);
    EXPECT_TRUE(model().flags(rowOf(home / "oud.txt")) & Qt::ItemIsSelectable);

    // The list follows the shelf: with the expired files gone, so is their section.
    shelf->trash(
        {*model().item(rowOf(home / "oud.txt")), *model().item(rowOf(home / "vandaag.txt"))});
    EXPECT_EQ(listed(), (Rows{"header Binnen een maand 1", "item contract.odt",
                              "header Nog lang houdbaar 1", "item verzekering.pdf"}));
}

TEST_F(ShelfListTest, OnlyTheExpiredHeaderCleansUp) {
    stamped(home / "a", -1);
    stamped(home / "b", 3);
    stamped(home / "c", 10);
    stamped(home / "d", 50);
    showList();
    const QRect cleanUp = view->cleanUpButtonRect(headerOf(Freshness::expired));
    ASSERT_FALSE(cleanUp.isEmpty());
    QSignalSpy reviewing(shelf.get(), &Shelf::reviewingChanged);

    // The same spot in the other headers holds nothing: no button drawn, a click does nothing.
    const QImage picture = view->viewport()->grab().toImage();
    const QColor link = view->palette().color(QPalette::Link);
    const auto linkPixels = [&](const QRect &area) {
        return pixels(picture, area, [&](const QColor &pixel) {
            return std::abs(pixel.hue() - link.hue()) < 20 && pixel.saturation() > 80;
        });
    };
    EXPECT_GT(linkPixels(cleanUp), 10);
    for (const Freshness other : {Freshness::thisWeek, Freshness::thisMonth, Freshness::fresh}) {
        const QModelIndex header = headerOf(other);
        EXPECT_TRUE(view->cleanUpButtonRect(header).isEmpty());
        const QRect rect = view->visualRect(header);
        const QRect spot(cleanUp.left(), rect.top(), cleanUp.width(), rect.height());
        EXPECT_EQ(linkPixels(spot), 0);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, spot.center());
    }
    // Elsewhere in the expired header does nothing either.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(headerOf(Freshness::expired)).center());
    EXPECT_EQ(reviewing.count(), 0);
    EXPECT_FALSE(shelf->reviewing());

    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cleanUp.center());
    EXPECT_TRUE(shelf->reviewing());
}

// Days left are red only when expired while the badge keeps its section's colour; the folder
// shortens the home folder only on a path boundary; the badge's month is in upper case in the
// user's locale.
TEST_F(ShelfListTest, RowTexts) {
    ScopedEnvironment locale("LC_ALL", "nl_NL.UTF-8");
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
    const QPalette palette = view->palette();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        const auto texts = textsOf(c.file);
        EXPECT_EQ(texts.name.toStdString(), c.file.filename().string());
        EXPECT_EQ(texts.folder, c.folder);
        EXPECT_EQ(texts.daysLeft.toStdString(), c.daysLeft);
        EXPECT_EQ(texts.daysLeftColor, c.days < 0 ? freshnessColor(c.freshness, isDark(palette))
                                                  : secondaryTextColor(palette));
        EXPECT_EQ(texts.badgeColor, freshnessColor(c.freshness, isDark(palette)));
    }
    EXPECT_EQ(textsOf(dated).dayMonth, "5 DEC");
    EXPECT_EQ(textsOf(dated).year, "2031");
}

// The row's button and the context menu offer the same entries, and each acts on the file the
// menu was opened for, even when the rows move under the open menu.
TEST_F(ShelfListTest, MenuEntriesActOnTheRowTheyWereOpenedFor) {
    const fs::path paspoort = stamped(home / "paspoort.pdf", 400);
    const fs::path brief = stamped(home / "brief.odt", 12);
    const fs::path een = stamped(home / "een.txt", -1);
    const fs::path twee = stamped(home / "twee.txt", -1);
    showList();
    const Rows expected = {
        "Open",
        "Toon in map",
        "-",
        "Verlengen > [1 week vanaf vandaag] [1 maand vanaf vandaag] [3 maanden vanaf vandaag] "
        "[1 jaar vanaf vandaag]",
        "Altijd houden",
        "-",
        "Naar prullenbak"};
    QMenu *context = menuOf(brief, false);
    ASSERT_TRUE(context);
    EXPECT_TRUE(context->isVisible());
    EXPECT_EQ(entries(context), expected);
    context->close();
    QMenu *button = menuOf(brief, true);
    ASSERT_TRUE(button);
    EXPECT_NE(button, context);
    EXPECT_TRUE(button->isVisible());
    EXPECT_EQ(entries(button), expected);
    // It opens below the button.
    EXPECT_EQ(button->pos(),
              view->viewport()->mapToGlobal(view->actionsButtonRect(rowOf(brief)).bottomLeft()));
    button->close();

    // Extending by a week counts from today; the row moves to this week's section.
    QMenu *menu = menuOf(paspoort, false);
    ASSERT_TRUE(menu);
    entry(menu, "1 week vanaf vandaag")->trigger();
    menu->close();
    EXPECT_EQ(readStamp(paspoort, calendar), calendar.adding(today, DateComponent::Day, 7));

    // The other expired file leaves the shelf under the open menu; the Trash takes only the file
    // the menu was opened for.
    menu = menuOf(twee, true);
    ASSERT_TRUE(menu);
    shelf->trash({*model().item(rowOf(een))});
    entry(menu, "Naar prullenbak")->trigger();
    menu->close();
    EXPECT_FALSE(fs::exists(twee));
    EXPECT_TRUE(inTrash(twee));
    EXPECT_TRUE(fs::exists(paspoort));
    EXPECT_TRUE(fs::exists(brief));

    menu = menuOf(brief, false);
    ASSERT_TRUE(menu);
    entry(menu, "Altijd houden")->trigger();
    menu->close();
    EXPECT_TRUE(fs::exists(brief));
    EXPECT_FALSE(readStamp(brief, calendar));
    EXPECT_EQ(listed(), (Rows{"header Deze week over de datum 1", "item paspoort.pdf"}));
}

TEST_F(ShelfListTest, OpeningRevealingAndTheToolTipGoToTheRowsFile) {
    const fs::path header = stamped(home / "eerste.txt", 2);
    const fs::path file = stamped(home / "Muziek" / "lied.mp3", 3);
    showList();
    const QRect row = view->visualRect(rowOf(file));
    // Anywhere on the row: its edge, the gap before the days left.
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {},
                       QPoint(row.left() + 2, row.center().y()));
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {},
                       QPoint(row.center().x(), row.top() + 1));
    // Not on a header.
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {},
                       view->visualRect(headerOf(Freshness::thisWeek)).center());
    EXPECT_EQ(opened, (std::vector<fs::path>{file, file}));

    QMenu *menu = menuOf(file, false);
    ASSERT_TRUE(menu);
    entry(menu, "Open")->trigger();
    // Chosen with the mouse, the entry closes the menu, which goes away.
    QPointer<QMenu> chosen = menu;
    QTest::mouseClick(menu, Qt::LeftButton, {},
                      menu->actionGeometry(entry(menu, "Toon in map")).center());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(chosen);
    EXPECT_EQ(revealed, (std::vector<fs::path>{file}));
    EXPECT_EQ(opened.size(), 3u);
    EXPECT_TRUE(fs::exists(header));

    // Resting on the row shows its full path.
    const QPoint at = row.center();
    QHelpEvent help(QEvent::ToolTip, at, view->viewport()->mapToGlobal(at));
    QApplication::sendEvent(view->viewport(), &help);
    EXPECT_EQ(QToolTip::text(), QString::fromStdString(file.string()));
    QToolTip::hideText();
}

TEST(ShelfListFileUrl, KeepsTheBytesOfANameThatIsNotUtf8) {
    EXPECT_EQ(fileUrl("/tmp/a b/caf\xe9.txt").toEncoded(), "file:///tmp/a%20b/caf%E9.txt");
    EXPECT_EQ(fileUrl("/tmp/Bücher/é.txt"), QUrl::fromLocalFile("/tmp/Bücher/é.txt"));
}

TEST(ShelfListFileIcons, TypesComeFromTheNameAndFoldersFromTheDisk) {
    TemporaryFolder folder;
    fs::create_directories(folder.path() / "Foto's");
    FileIcons icons;
    EXPECT_EQ(icons.typeName(folder.file("brief.pdf")), "application/pdf");
    EXPECT_EQ(icons.typeName(folder.path() / "Foto's"), "inode/directory");
    EXPECT_EQ(icons.typeName(folder.file("LEESMIJ")), "application/octet-stream");
    const QPixmap icon = icons.icon(folder.path() / "Foto's", 32, 2.0, Qt::gray);
    EXPECT_EQ(icon.size(), QSize(64, 64));
    EXPECT_FALSE(icon.toImage().isNull());
}

// Each section's badge drawn in its colour, light and dark; the pictures are left for a person
// to look at (KELO_LIST_PICTURE, or shelf-list.png in the build folder).
TEST_F(ShelfListTest, PicturesOfTheListInLightAndDark) {
    ScopedEnvironment dutch("LC_ALL", "nl_NL.UTF-8");
    const std::pair<fs::path, Freshness> files[] = {
        {stamped(home / "Documenten/Voorlopige aanslag inkomstenbelasting 2024 met toelichting en "
                        "bijlagen.pdf",
                 -12),
         Freshness::expired},
        {stamped(home / "Documenten/Werk/notulen overleg.odt", 2), Freshness::thisWeek},
        {stamped(home / "Video's/vakantie.mp4", 21), Freshness::thisMonth},
        {stamped(disk / "gedeeld/projectplan.md", 200), Freshness::fresh}};
    showList();
    QString picture = qEnvironmentVariableIsSet("KELO_LIST_PICTURE")
                          ? qEnvironmentVariable("KELO_LIST_PICTURE")
                          : QStringLiteral(KELO_DEFAULT_LIST_PICTURE);
    view->selectionModel()->select(rowOf(files[2].first), QItemSelectionModel::ClearAndSelect);
    for (const bool dark : {false, true}) {
        if (dark)
            view->setPalette(QPalette(QColor(0x1e, 0x1e, 0x1e)));
        ASSERT_EQ(isDark(view->palette()), dark);
        const QImage image = view->viewport()->grab().toImage();
        EXPECT_TRUE(image.save(dark ? picture.insert(picture.lastIndexOf('.'), "-dark") : picture));
        for (const auto &[file, freshness] : files) {
            const QColor colour = freshnessColor(freshness, dark);
            const QRect badge = view->actionsButtonRect(rowOf(file)).adjusted(-90, -6, -24, 6);
            EXPECT_GT(pixels(image, badge,
                             [&](const QColor &pixel) {
                                 return std::abs(pixel.red() - colour.red()) +
                                            std::abs(pixel.green() - colour.green()) +
                                            std::abs(pixel.blue() - colour.blue()) <
                                        60;
                             }),
                      40)
                << file << (dark ? " dark" : " light");
        }
    }
}
