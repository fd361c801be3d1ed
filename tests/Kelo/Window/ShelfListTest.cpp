// The shelf list over real stamped files: which sections and rows it shows, what a row says, what
// its buttons and menus do, and to which file.
#include "ShelfListView.h"
#include "ShelfSupport.h"

#include "ErrorPresenter.h"
#include "ExpiryStamp.h"
#include "FileIcons.h"
#include "FolderText.h"
#include "FreshnessStyle.h"
#include "RowActions.h"
#include "ScopedEnvironment.h"
#include "Shelf.h"
#include "ShelfListModel.h"
#include "ShelfRowDelegate.h"
#include "TagQuery.h"
#include "TemporaryFolder.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QImage>
#include <QMenu>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>

#include <fstream>

#include <gtest/gtest.h>

using namespace kelo;
namespace fs = std::filesystem;

namespace {

class ShelfListTest : public ::testing::Test {
protected:
    TemporaryFolder folder;
    const fs::path scanned = folder.path() / "schijf";
    const fs::path home = scanned / "anna";
    const std::string dataHome = (folder.path() / "data").string();
    ScopedEnvironment homeVariable{"HOME", home.c_str()};
    // The Trash of these tests lies in the temporary folder.
    ScopedEnvironment dataHomeVariable{"XDG_DATA_HOME", dataHome.c_str()};
    NoPresenter presenter;
    const Calendar calendar = Calendar::current();
    const Instant today = calendar.startOfDay(currentInstant());
    std::unique_ptr<Shelf> shelf;
    std::unique_ptr<ShelfListView> view;
    std::vector<fs::path> opened;
    std::vector<fs::path> revealed;

    fs::path stamped(const fs::path &file, int days) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << "inhoud";
        EXPECT_FALSE(writeStamp(calendar.adding(today, DateComponent::Day, days), file, calendar));
        return file;
    }

    void showList(QSize size = {640, 480}) {
        TagIndex::Options options;
        options.scope.roots.push_back({scanned, true});
        shelf = std::make_unique<Shelf>(std::make_unique<TagQuery>(std::move(options)), presenter);
        QSignalSpy loaded(shelf.get(), &Shelf::loadedChanged);
        ASSERT_TRUE(loaded.wait(5000));
        view = std::make_unique<ShelfListView>(*shelf);
        view->setFileOperations({[this](const fs::path &path) { opened.push_back(path); },
                                 [this](const fs::path &path) { revealed.push_back(path); }});
        view->resize(size);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        view->doItemsLayout();
    }

    ShelfListModel &model() const { return view->listModel(); }

    QModelIndex rowOf(const fs::path &file) const {
        for (int row = 0; row < model().rowCount(); ++row) {
            const QModelIndex index = model().index(row);
            if (const Shelf::Item *item = model().item(index); item && item->url == file)
                return index;
        }
        ADD_FAILURE() << "no row for " << file;
        return {};
    }

    QModelIndex headerOf(Freshness freshness) const {
        for (int row = 0; row < model().rowCount(); ++row) {
            const QModelIndex index = model().index(row);
            if (model().isHeader(index) &&
                index.data(ShelfListModel::FreshnessRole).toInt() == static_cast<int>(freshness))
                return index;
        }
        return {};
    }

    ShelfRowDelegate::ItemTexts textsOf(const fs::path &file) const {
        return view->rowDelegate().itemTexts(*model().item(rowOf(file)), view->palette());
    }

    QMenu *contextMenuOf(const fs::path &file) {
        const QPoint at = view->visualRect(rowOf(file)).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
        QApplication::sendEvent(view->viewport(), &event);
        return view->openMenu();
    }

    QMenu *buttonMenuOf(const fs::path &file) {
        const QRect button = view->actionsButtonRect(rowOf(file));
        EXPECT_FALSE(button.isEmpty());
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, button.center());
        return view->openMenu();
    }
};

// A row's text as read from the model: "header <freshness> <count>" or "item <file name>".
std::vector<std::string> listed(const ShelfListModel &model, const Shelf &shelf) {
    std::vector<std::string> rows;
    for (int row = 0; row < model.rowCount(); ++row) {
        const QModelIndex index = model.index(row);
        if (index.data(ShelfListModel::KindRole).toInt() ==
            static_cast<int>(ShelfListModel::RowKind::header)) {
            rows.push_back("header " + index.data(Qt::DisplayRole).toString().toStdString() + " " +
                           std::to_string(index.data(ShelfListModel::CountRole).toLongLong()));
        } else {
            const auto at =
                static_cast<size_t>(index.data(ShelfListModel::ItemIndexRole).toLongLong());
            rows.push_back("item " + shelf.items().at(at).url.filename().string());
        }
    }
    return rows;
}

// The entries of a menu, submenus inline, separators as "-".
std::vector<std::string> entries(const QMenu *menu) {
    std::vector<std::string> texts;
    for (const QAction *action : menu->actions()) {
        if (action->isSeparator()) {
            texts.push_back("-");
        } else if (action->menu()) {
            std::string submenu = action->text().toStdString() + " >";
            for (const std::string &entry : entries(action->menu()))
                submenu += " [" + entry + "]";
            texts.push_back(submenu);
        } else {
            texts.push_back(action->text().toStdString());
        }
    }
    return texts;
}

QAction *findEntry(const QMenu *menu, const QString &text) {
    for (QAction *action : menu->actions()) {
        if (action->text() == text)
            return action;
        if (action->menu())
            if (QAction *found = findEntry(action->menu(), text))
                return found;
    }
    return nullptr;
}

QAction *entry(const QMenu *menu, const QString &text) {
    QAction *found = findEntry(menu, text);
    if (!found)
        ADD_FAILURE() << "no entry " << text.toStdString();
    return found;
}

} // namespace

TEST_F(ShelfListTest, SectionsFollowTheFixedOrderAndEmptyOnesAreLeftOut) {
    stamped(home / "verzekering.pdf", 100);
    stamped(home / "oud.txt", -2);
    stamped(home / "vandaag.txt", 0);
    stamped(home / "contract.odt", 20);
    showList();
    EXPECT_EQ(
        listed(model(), *shelf),
        (std::vector<std::string>{"header Over de datum 2", "item oud.txt", "item vandaag.txt",
                                  "header Binnen een maand 1", "item contract.odt",
                                  "header Nog lang houdbaar 1", "item verzekering.pdf"}));
    // Headers are never selected; items are.
    EXPECT_FALSE(model().flags(headerOf(Freshness::expired)) & Qt::ItemIsSelectable);
    EXPECT_TRUE(model().flags(rowOf(home / "oud.txt")) & Qt::ItemIsSelectable);

    // The list follows the shelf: with the expired files gone, so is their section.
    shelf->trash(
        {*model().item(rowOf(home / "oud.txt")), *model().item(rowOf(home / "vandaag.txt"))});
    EXPECT_EQ(listed(model(), *shelf),
              (std::vector<std::string>{"header Binnen een maand 1", "item contract.odt",
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
    auto linkPixels = [&](const QRect &area) {
        const QColor link = view->palette().color(QPalette::Link);
        int found = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) {
                const QColor pixel = picture.pixelColor(x, y);
                found += std::abs(pixel.hue() - link.hue()) < 20 && pixel.saturation() > 80;
            }
        return found;
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

TEST_F(ShelfListTest, DaysLeftAreRedOnlyWhenExpiredWhileTheBadgeKeepsItsColour) {
    const std::pair<int, const char *> cases[] = {{-2, "2 dagen over de datum"},
                                                  {3, "nog 3 dagen"},
                                                  {20, "nog 20 dagen"},
                                                  {60, "nog 60 dagen"}};
    for (const auto &[days, text] : cases)
        stamped(home / ("f" + std::to_string(days)), days);
    showList();
    const QPalette palette = view->palette();
    const bool dark = isDark(palette);
    const Freshness expected[] = {Freshness::expired, Freshness::thisWeek, Freshness::thisMonth,
                                  Freshness::fresh};
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto texts = textsOf(home / ("f" + std::to_string(cases[i].first)));
        EXPECT_EQ(texts.daysLeft.toStdString(), cases[i].second);
        EXPECT_EQ(texts.daysLeftColor,
                  i == 0 ? freshnessColor(Freshness::expired, dark) : secondaryTextColor(palette));
        EXPECT_EQ(texts.badgeColor, freshnessColor(expected[i], dark));
    }
}

TEST_F(ShelfListTest, FolderTextShortensTheHomeFolderOnlyOnAPathBoundary) {
    stamped(home / "boven.txt", 5);
    stamped(home / "Documenten" / "Werk" / "onder.txt", 5);
    stamped(scanned / "anna2" / "naast.txt", 5);
    showList();
    EXPECT_EQ(textsOf(home / "boven.txt").folder, "~");
    EXPECT_EQ(textsOf(home / "Documenten" / "Werk" / "onder.txt").folder, "~/Documenten/Werk");
    EXPECT_EQ(textsOf(scanned / "anna2" / "naast.txt").folder,
              QString::fromStdString((scanned / "anna2").string()));
    EXPECT_EQ(textsOf(home / "Documenten" / "Werk" / "onder.txt").name, "onder.txt");
}

TEST_F(ShelfListTest, TheBadgeShowsTheDayAndMonthInUpperCaseInTheUsersLocale) {
    ScopedEnvironment locale("LC_ALL", "nl_NL.UTF-8");
    const fs::path file = scanned / "ver.txt";
    fs::create_directories(scanned);
    std::ofstream(file) << "x";
    const Calendar dutch = Calendar::current();
    ASSERT_FALSE(writeStamp(*dutch.parseStampText("2031-12-05"), file, dutch));
    showList();
    const auto texts = textsOf(file);
    EXPECT_EQ(texts.dayMonth, "5 DEC");
    EXPECT_EQ(texts.year, "2031");
}

TEST_F(ShelfListTest, TheButtonAndTheContextMenuOfferTheSameEntries) {
    const fs::path file = stamped(home / "brief.odt", 12);
    showList();
    const std::vector<std::string> expected = {
        "Open",
        "Toon in Finder",
        "-",
        "Verlengen > [1 week vanaf vandaag] [1 maand vanaf vandaag] [3 maanden vanaf vandaag] "
        "[1 jaar vanaf vandaag]",
        "Altijd houden",
        "-",
        "Naar prullenbak"};
    QMenu *context = contextMenuOf(file);
    ASSERT_TRUE(context);
    EXPECT_TRUE(context->isVisible());
    EXPECT_EQ(entries(context), expected);
    context->close();

    QMenu *button = buttonMenuOf(file);
    ASSERT_TRUE(button);
    EXPECT_NE(button, context);
    EXPECT_TRUE(button->isVisible());
    EXPECT_EQ(entries(button), expected);
    // It opens below the button.
    const QRect at = view->actionsButtonRect(rowOf(file));
    EXPECT_EQ(button->pos(), view->viewport()->mapToGlobal(at.bottomLeft()));
    button->close();
}

TEST_F(ShelfListTest, ExtendingByAWeekCountsFromToday) {
    const fs::path file = stamped(home / "paspoort.pdf", 400);
    showList();
    QMenu *menu = contextMenuOf(file);
    ASSERT_TRUE(menu);
    entry(menu, "1 week vanaf vandaag")->trigger();
    menu->close();
    EXPECT_EQ(readStamp(file, calendar), calendar.adding(today, DateComponent::Day, 7));
    // The row moved to this week's section.
    EXPECT_EQ(listed(model(), *shelf),
              (std::vector<std::string>{"header Deze week over de datum 1", "item paspoort.pdf"}));
}

TEST_F(ShelfListTest, TheTrashTakesOnlyTheRowsFile) {
    const fs::path kept = stamped(home / "een.txt", -1);
    const fs::path gone = stamped(home / "twee.txt", -1);
    showList();
    QMenu *menu = buttonMenuOf(gone);
    ASSERT_TRUE(menu);
    entry(menu, "Naar prullenbak")->trigger();
    menu->close();
    EXPECT_FALSE(fs::exists(gone));
    EXPECT_TRUE(fs::exists(fs::path(dataHome) / "Trash" / "files" / "twee.txt"));
    EXPECT_TRUE(fs::exists(kept));
    EXPECT_EQ(listed(model(), *shelf),
              (std::vector<std::string>{"header Over de datum 1", "item een.txt"}));
}

TEST_F(ShelfListTest, EntriesActOnTheItemTheMenuWasOpenedFor) {
    const fs::path first = stamped(home / "eerste.txt", 2);
    const fs::path second = stamped(home / "tweede.txt", 4);
    showList();
    QMenu *menu = contextMenuOf(second);
    ASSERT_TRUE(menu);
    // The shelf changes under the open menu: the other file leaves it, the rows move up.
    shelf->trash({*model().item(rowOf(first))});
    ASSERT_EQ(listed(model(), *shelf),
              (std::vector<std::string>{"header Deze week over de datum 1", "item tweede.txt"}));
    entry(menu, "Altijd houden")->trigger();
    menu->close();
    EXPECT_TRUE(fs::exists(second));
    EXPECT_FALSE(readStamp(second, calendar));
    EXPECT_TRUE(shelf->items().empty());
}

TEST_F(ShelfListTest, OpeningAndRevealingGoToTheRowsFile) {
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

    QMenu *menu = contextMenuOf(file);
    ASSERT_TRUE(menu);
    entry(menu, "Open")->trigger();
    // Chosen with the mouse, the entry closes the menu, which goes away.
    QPointer<QMenu> chosen = menu;
    QTest::mouseClick(menu, Qt::LeftButton, {},
                      menu->actionGeometry(entry(menu, "Toon in Finder")).center());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(chosen);
    EXPECT_EQ(revealed, (std::vector<fs::path>{file}));
    EXPECT_EQ(opened.size(), 3u);
    EXPECT_TRUE(fs::exists(header));
}

TEST_F(ShelfListTest, RestingOnARowShowsItsFullPath) {
    const fs::path file = stamped(home / "Documenten" / "lang verhaal.txt", 9);
    showList();
    const QPoint at = view->visualRect(rowOf(file)).center();
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

namespace {

QPalette darkPalette() {
    QPalette palette;
    const QColor window(0x1e, 0x1e, 0x1e);
    const QColor text(0xe8, 0xe8, 0xe8);
    for (const auto role :
         {QPalette::Window, QPalette::Base, QPalette::AlternateBase, QPalette::Button})
        palette.setColor(role, window);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(role, text);
    palette.setColor(QPalette::Highlight, QColor(0x0a, 0x84, 0xff));
    palette.setColor(QPalette::Link, QColor(0x4d, 0xa3, 0xff));
    return palette;
}

int pixelsNear(const QImage &image, const QRect &area, const QColor &colour) {
    int found = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            found += std::abs(pixel.red() - colour.red()) +
                         std::abs(pixel.green() - colour.green()) +
                         std::abs(pixel.blue() - colour.blue()) <
                     60;
        }
    return found;
}

} // namespace

// Twenty files in all four sections, drawn light and dark, left for a person to look at.
TEST_F(ShelfListTest, PicturesOfTheListInLightAndDark) {
    ScopedEnvironment dutch("LC_ALL", "nl_NL.UTF-8");
    const std::pair<fs::path, int> files[] = {
        {home / "Documenten" / "Belastingdienst" / "2024" / "Aangifte inkomstenbelasting" /
             "Voorlopige aanslag inkomstenbelasting 2024 met toelichting en bijlagen.pdf",
         -12},
        {home / "Downloads" / "offerte-keuken.pdf", -3},
        {home / "Downloads" / "IMG_4032.jpg", -1},
        {home / "Bureaublad" / "boodschappen.txt", 0},
        {home / "Documenten" / "Werk" / "notulen overleg.odt", 2},
        {home / "Downloads" / "installatie.tar.gz", 4},
        {home / "Documenten" / "Werk" / "Kwartaalcijfers Q3.ods", 6},
        {home / "Muziek" / "demo.mp3", 9},
        {home / "Documenten" / "Huis" / "Energiecontract.pdf", 15},
        {home / "Video's" / "vakantie.mp4", 21},
        {home / "Documenten" / "Huis" / "Verbouwing", 28},
        {home / "Documenten" / "Administratie" / "Verzekeringen" / "Reisverzekering" / "Europa" /
             "polisblad.pdf",
         31},
        {home / "Documenten" / "Garantiebewijs wasmachine.pdf", 45},
        {home / "Afbeeldingen" / "paspoortfoto.png", 90},
        {home / "Documenten" / "Huurcontract.docx", 120},
        {scanned / "gedeeld" / "projectplan.md", 200},
        {home / "LEESMIJ", 300},
        {home / "Documenten" / "Rijbewijs scan.pdf", 700},
        {home / "Documenten" / "Testament.pdf", 1500},
        {home / "Documenten" / "Diploma.pdf", 3000},
    };
    for (const auto &[file, days] : files) {
        if (file.filename() == "Verbouwing") {
            fs::create_directories(file);
            ASSERT_FALSE(
                writeStamp(calendar.adding(today, DateComponent::Day, days), file, calendar));
        } else {
            stamped(file, days);
        }
    }
    showList();
    ASSERT_EQ(shelf->items().size(), std::size(files));

    const QString light = qEnvironmentVariableIsSet("KELO_LIST_PICTURE")
                              ? qEnvironmentVariable("KELO_LIST_PICTURE")
                              : QStringLiteral(KELO_DEFAULT_LIST_PICTURE);
    auto named = [&](const char *suffix) {
        QString name = light;
        return name.insert(name.lastIndexOf(QLatin1Char('.')), QLatin1String(suffix));
    };

    for (const bool darkened : {false, true}) {
        if (darkened)
            view->setPalette(darkPalette());
        view->selectionModel()->select(rowOf(home / "Muziek" / "demo.mp3"),
                                       QItemSelectionModel::ClearAndSelect);
        view->scrollToBottom();
        EXPECT_TRUE(view->grab().save(named(darkened ? "-dark-end" : "-end")));
        view->scrollToTop();
        const QImage picture = view->grab().toImage();
        EXPECT_TRUE(picture.save(darkened ? named("-dark") : light));
        // Each badge in its section's colour.
        const QRect badgeArea = view->actionsButtonRect(rowOf(home / "Downloads" / "IMG_4032.jpg"))
                                    .adjusted(-90, -6, -24, 6);
        EXPECT_GT(pixelsNear(picture, badgeArea, freshnessColor(Freshness::expired, darkened)), 40);
        EXPECT_EQ(isDark(view->palette()), darkened);
    }
}
