#include "ReviewSheet.h"
#include "StampedHome.h"

#include "ByteCount.h"
#include "DiskUsage.h"
#include "ReviewListModel.h"
#include "ReviewListView.h"
#include "ShelfOrder.h"

#include <QPushButton>
#include <QTest>

using namespace kelo;
namespace fs = std::filesystem;

namespace {

class ReviewSheetTest : public StampedHome {
protected:
    QWidget window;

    void SetUp() override {
        QLocale::setDefault(QLocale(QLocale::Dutch, QLocale::Netherlands));
        window.resize(640, 520);
    }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }

    // Shows the sheet over the window as the shelf window does.
    std::unique_ptr<ReviewSheet> openSheet() {
        window.show();
        shelf->setReviewing(true);
        auto sheet = std::make_unique<ReviewSheet>(*shelf, &window);
        sheet->open();
        return sheet;
    }

    // The files are grouped on a worker; the first list fills in from the event loop, and only
    // then are their sizes asked for.
    static void waitForList(const ReviewSheet &sheet) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return sheet.model().filled(); }, 5000));
    }

    // Sizes are counted in the background; the sheet learns them from the event loop.
    static void waitForSizes(const ReviewSheet &sheet) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return sheet.model().sizesKnown(); }, 5000));
    }

    // A group's row reads the folder's name and the folder that holds it.
    static QStringList groupTexts(const ReviewSheet &sheet, const fs::path &folder) {
        const QModelIndex group = sheet.model().groupIndex(folder);
        return {group.data().toString(), group.data(ReviewListModel::ParentFolderRole).toString()};
    }

    static void clickRow(ReviewSheet &sheet, const QModelIndex &row) {
        ReviewListView &view = sheet.view();
        view.scrollTo(row);
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.visualRect(row).center());
    }

    static bool listed(const ReviewSheet &sheet, const fs::path &file) {
        return sheet.model().fileIndex(file).isValid();
    }
};

QString summary(int ticked, int listed, std::int64_t bytes) {
    return QStringLiteral("%1 van %2 · %3").arg(ticked).arg(listed).arg(byteCountText(bytes));
}

} // namespace

// Every expired file starts ticked, counted at once and listed when grouped, its size a dash
// until it is counted; the file, row, folder and group ticks follow each other, and the count,
// summary and Trash button follow the ticks.
TEST_F(ReviewSheetTest, TicksOfFilesAndGroupsAndWhatTheyCount) {
    const fs::path a = stamped(home / "Oud/a.pdf", -3, 10'000);
    const fs::path b = stamped(home / "Oud/b.txt", -1, 200'000);
    const fs::path c = stamped(home / "Oud/c.zip", 0, 3'000'000);
    const fs::path other = stamped(home / "Werk/d.txt", -1, 5'000);
    const fs::path fresh = stamped(home / "Oud/vers.txt", 40);
    loadShelf({home});
    const fs::path oud = home / "Oud", werk = home / "Werk";
    const auto sheet = openSheet();
    EXPECT_EQ(sheet->summaryText(), "4 van 4 · 0 bytes, telt nog…");
    EXPECT_EQ(sheet->trashButton()->text(), "4 bestanden naar prullenbak");
    EXPECT_TRUE(sheet->trashButton()->isEnabled());
    waitForList(*sheet);
    for (const auto &file : {a, b, c, other}) {
        EXPECT_TRUE(sheet->isTicked(file));
        EXPECT_EQ(sheet->sizeText(file), "—");
    }
    ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet.get()));

    waitForSizes(*sheet);
    EXPECT_EQ(sheet->summaryText(), summary(4, 4,
                                            allocatedSize(a) + allocatedSize(b) + allocatedSize(c) +
                                                allocatedSize(other)));
    for (const auto &file : {a, b, c, other})
        EXPECT_EQ(sheet->sizeText(file), byteCountText(allocatedSize(file)));
    EXPECT_FALSE(listed(*sheet, fresh));
    EXPECT_EQ(sheet->groupState(oud), Qt::Checked);

    // A group's checkbox unticks only its own files.
    clickRow(*sheet, sheet->model().groupIndex(oud));
    EXPECT_EQ(sheet->groupState(oud), Qt::Unchecked);
    for (const auto &file : {a, b, c})
        EXPECT_FALSE(sheet->isTicked(file));
    EXPECT_EQ(sheet->groupState(werk), Qt::Checked);
    EXPECT_EQ(sheet->trashButton()->text(), "1 bestand naar prullenbak");
    EXPECT_EQ(sheet->summaryText(), "1 van 4 · " + sheet->sizeText(other));

    // One file ticked: the group is mixed, and a click on it ticks them all.
    clickRow(*sheet, sheet->model().fileIndex(b));
    EXPECT_EQ(sheet->groupState(oud), Qt::PartiallyChecked);
    EXPECT_EQ(sheet->summaryText(), summary(2, 4, allocatedSize(b) + allocatedSize(other)));
    clickRow(*sheet, sheet->model().groupIndex(oud));
    EXPECT_EQ(sheet->groupState(oud), Qt::Checked);
    EXPECT_TRUE(sheet->isTicked(a));
    EXPECT_EQ(sheet->trashButton()->text(), "4 bestanden naar prullenbak");

    // The keyboard: arrows move through groups and files, Space toggles the current row.
    ReviewListView &view = sheet->view();
    view.setFocus();
    view.setCurrentIndex(sheet->model().groupIndex(oud));
    QTest::keyClick(&view, Qt::Key_Down);
    EXPECT_EQ(view.currentIndex(), sheet->model().fileIndex(a));
    QTest::keyClick(&view, Qt::Key_Space);
    EXPECT_FALSE(sheet->isTicked(a));
    EXPECT_EQ(sheet->groupState(oud), Qt::PartiallyChecked);
    QTest::keyClick(&view, Qt::Key_Up);
    QTest::keyClick(&view, Qt::Key_Space);
    EXPECT_TRUE(sheet->isTicked(a));

    // Nothing ticked: the button is off, and Return does nothing.
    clickRow(*sheet, sheet->model().groupIndex(oud));
    clickRow(*sheet, sheet->model().groupIndex(werk));
    EXPECT_FALSE(sheet->trashButton()->isEnabled());
    EXPECT_EQ(sheet->trashButton()->text(), "0 bestanden naar prullenbak");
    EXPECT_EQ(sheet->summaryText(), "0 van 4 · 0 bytes");
    QTest::keyClick(&view, Qt::Key_Return);
    EXPECT_TRUE(sheet->isVisible());
    for (const auto &file : {a, b, c, other})
        EXPECT_TRUE(fs::exists(file));
}

// Closing, by any means, moves nothing and stops the counting of sizes.
TEST_F(ReviewSheetTest, EscapeLaterAndClosingEndTheReviewAndMoveNothing) {
    const fs::path a = stamped(home / "Oud/a.pdf", -3);
    const fs::path b = stamped(home / "Oud/b.txt", -1);
    loadShelf({home});
    const auto items = shelf->items();
    for (const char *way : {"Escape", "Later", "close"}) {
        SCOPED_TRACE(way);
        const auto sheet = openSheet();
        waitForList(*sheet);
        EXPECT_TRUE(shelf->diskUsage().busy());
        sheet->model().toggle(sheet->model().fileIndex(a));
        if (way == std::string("Escape")) {
            sheet->view().setFocus();
            QTest::keyClick(&sheet->view(), Qt::Key_Escape);
        } else if (way == std::string("Later")) {
            sheet->laterButton()->click();
        } else {
            sheet->close();
        }
        EXPECT_FALSE(sheet->isVisible());
        EXPECT_EQ(sheet->result(), QDialog::Rejected);
        EXPECT_FALSE(shelf->reviewing());
        EXPECT_FALSE(shelf->diskUsage().busy());
        EXPECT_TRUE(fs::exists(a));
        EXPECT_TRUE(fs::exists(b));
        EXPECT_FALSE(fs::exists(dataHome / "Trash"));
        EXPECT_EQ(shelf->items(), items);
    }
}

// Folders give sections in path order, named with their parents. Return reaches the Trash button
// even from the other button, and moves what is ticked: files with names that are not UTF-8,
// and an expired folder, one row the size of its contents.
TEST_F(ReviewSheetTest, ReturnMovesTheTickedFilesAndFoldersToTheTrash) {
    const fs::path a = stamped(home / "Downloads/Oud/a.pdf", -3);
    const fs::path b = stamped(home / "Downloads/Oud/b.txt", -1);
    const fs::path odd = stamped(home / "Downloads/Oud/caf\xe9.txt", -1);
    const fs::path c = stamped(home / "Werk/c.txt", 0);
    const fs::path outside = stamped(folder.path() / "elders" / "d.txt", -1);
    const fs::path project = home / "Werk" / "Project";
    fs::create_directories(project / "src");
    std::ofstream(project / "src" / "main.cpp") << std::string(50'000, 'x');
    std::ofstream(project / "notities.txt") << std::string(8'000, 'y');
    stamp(project, -2);
    loadShelf({home, outside.parent_path()});
    const auto sheet = openSheet();
    waitForList(*sheet);
    const std::vector<FolderGroup> expected = {{outside.parent_path(), {outside}},
                                               {home / "Downloads" / "Oud", {a, b, odd}},
                                               {home / "Werk", {c, project}}};
    EXPECT_EQ(sheet->groups(), expected);
    EXPECT_EQ(groupTexts(*sheet, home / "Downloads" / "Oud"), QStringList({"Oud", "~/Downloads"}));
    EXPECT_EQ(groupTexts(*sheet, home / "Werk"), QStringList({"Werk", "~"}));
    EXPECT_EQ(groupTexts(*sheet, outside.parent_path()),
              QStringList({"elders", QString::fromStdString(folder.path().string())}));
    EXPECT_EQ(sheet->model().groupIndex(home / "Werk").data(Qt::ToolTipRole).toString(),
              QString::fromStdString((home / "Werk").string()));
    EXPECT_EQ(sheet->summaryText().left(8), "6 van 6 ");
    EXPECT_TRUE(listed(*sheet, project));
    EXPECT_FALSE(listed(*sheet, project / "notities.txt"));
    waitForSizes(*sheet);
    EXPECT_GE(sheet->fileSize(project), 58'000);
    EXPECT_EQ(sheet->fileSize(project), allocatedSize(project));
    EXPECT_EQ(sheet->sizeText(project), byteCountText(allocatedSize(project)));
    sheet->model().toggle(sheet->model().fileIndex(b));
    sheet->laterButton()->setFocus();

    QTest::keyClick(sheet->laterButton(), Qt::Key_Return);
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(sheet->result(), QDialog::Accepted);
    EXPECT_FALSE(shelf->reviewing());
    for (const auto &moved : {a, c, odd, project, outside}) {
        EXPECT_FALSE(fs::exists(moved)) << moved;
        EXPECT_TRUE(inTrash(moved)) << moved;
        EXPECT_FALSE(onShelf(moved)) << moved;
    }
    EXPECT_TRUE(fs::exists(dataHome / "Trash" / "files" / "Project" / "src" / "main.cpp"));
    EXPECT_TRUE(fs::exists(b));
    const auto expired = shelf->items(Freshness::expired);
    ASSERT_EQ(expired.size(), 1u);
    EXPECT_EQ(expired.front().path, b);
}

// The Trash button does not wait for the sizes: what is ticked goes while they are counted.
TEST_F(ReviewSheetTest, TheTrashButtonWorksBeforeTheSizesAreKnown) {
    const fs::path a = stamped(home / "Oud/a.pdf", -3, 10'000);
    const fs::path b = stamped(home / "Oud/b.txt", -1, 20'000);
    loadShelf({home});
    const auto sheet = openSheet();
    waitForList(*sheet);
    sheet->model().toggle(sheet->model().fileIndex(b));
    ASSERT_EQ(sheet->sizeText(a), "—");
    EXPECT_EQ(sheet->summaryText(), "1 van 2 · 0 bytes, telt nog…");
    sheet->trashButton()->click();
    EXPECT_EQ(sheet->result(), QDialog::Accepted);
    EXPECT_TRUE(inTrash(a) && !fs::exists(a));
    EXPECT_TRUE(fs::exists(b) && !inTrash(b));
}

// Nor for the list: before the files are grouped, every file expired at the opening is ticked,
// and goes unless it was renewed meanwhile. A grouping overtaken by a newer one, and one still
// running when the sheet goes, come to nothing.
TEST_F(ReviewSheetTest, TheTrashButtonWorksBeforeTheListIsMade) {
    const fs::path a = stamped(home / "Oud/a.pdf", -3);
    const fs::path b = stamped(home / "Werk/b.txt", -1);
    const fs::path c = stamped(home / "Werk/c.txt", -1);
    const fs::path fresh = stamped(home / "Oud/vers.txt", 40);
    loadShelf({home});
    const auto sheet = openSheet();
    const auto renewed = std::find_if(shelf->items().begin(), shelf->items().end(),
                                      [&](const Shelf::Item &item) { return item.path == c; });
    ASSERT_NE(renewed, shelf->items().end());
    shelf->perform(Shelf::extend(c, Term::month), Shelf::Item(*renewed));
    ASSERT_FALSE(sheet->listFilled());
    EXPECT_TRUE(sheet->groups().empty());
    EXPECT_TRUE(sheet->trashButton()->isEnabled());
    sheet->trashButton()->click();
    EXPECT_EQ(sheet->result(), QDialog::Accepted);
    EXPECT_TRUE(inTrash(a) && !fs::exists(a));
    EXPECT_TRUE(inTrash(b) && !fs::exists(b));
    for (const auto &kept : {c, fresh})
        EXPECT_TRUE(fs::exists(kept) && !inTrash(kept)) << kept;
}

// A ticked file whose date is renewed while the review is open, by the shelf or behind its back
// through the tag index, leaves the review: it no longer counts, and the Trash button leaves it
// where it is. A newly expired file joins unticked. The other ticks stay as the user set them,
// also while the list is being made anew.
TEST_F(ReviewSheetTest, AFileRenewedMeanwhileLeavesTheReviewAndStays) {
    const fs::path a = stamped(home / "Oud/a.pdf", -3, 10'000);
    const fs::path b = stamped(home / "Oud/b.txt", -1, 200'000);
    const fs::path c = stamped(home / "Oud/c.zip", 0, 3'000'000);
    const fs::path d = stamped(home / "Oud/d.txt", -2, 1'000);
    loadShelf({home});
    const auto sheet = openSheet();
    waitForList(*sheet);
    sheet->model().toggle(sheet->model().fileIndex(a));
    waitForSizes(*sheet);
    ASSERT_EQ(sheet->summaryText(),
              summary(3, 4, allocatedSize(b) + allocatedSize(c) + allocatedSize(d)));

    const auto renewed = std::find_if(shelf->items().begin(), shelf->items().end(),
                                      [&](const Shelf::Item &item) { return item.path == b; });
    ASSERT_NE(renewed, shelf->items().end());
    shelf->perform(Shelf::extend(b, Term::month), Shelf::Item(*renewed));
    sheet->model().toggle(sheet->model().fileIndex(d));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !listed(*sheet, b); }, 5000));
    EXPECT_FALSE(sheet->isTicked(d));
    EXPECT_EQ(sheet->summaryText(), summary(1, 3, allocatedSize(c)));

    stamp(d, 30);
    const fs::path late = stamped(home / "Oud/laat.txt", -1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !listed(*sheet, d) && listed(*sheet, late); }, 5000));
    EXPECT_FALSE(sheet->isTicked(late));
    EXPECT_FALSE(sheet->isTicked(a));
    EXPECT_TRUE(sheet->isTicked(c));
    EXPECT_EQ(sheet->summaryText(), summary(1, 3, allocatedSize(c)));
    EXPECT_EQ(sheet->trashButton()->text(), "1 bestand naar prullenbak");
    EXPECT_EQ(sheet->groupState(home / "Oud"), Qt::PartiallyChecked);

    sheet->trashButton()->click();
    for (const auto &kept : {a, b, d, late})
        EXPECT_TRUE(fs::exists(kept) && !inTrash(kept)) << kept;
    EXPECT_TRUE(onShelf(b));
    EXPECT_FALSE(fs::exists(c));
    EXPECT_TRUE(inTrash(c));
}
