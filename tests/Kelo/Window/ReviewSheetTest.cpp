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

// Four expired files in two folders and one still fresh, and the review of them over a window.
class ReviewSheetTest : public StampedHome {
protected:
    const fs::path a = stamped(home / "Oud/a.pdf", -3, 10'000);
    const fs::path b = stamped(home / "Oud/b.txt", -1, 200'000);
    const fs::path c = stamped(home / "Oud/c.zip", 0, 3'000'000);
    const fs::path d = stamped(home / "Werk/d.txt", -1, 5'000);
    const fs::path fresh = stamped(home / "Oud/vers.txt", 40);
    QWidget window;
    std::unique_ptr<ReviewSheet> sheet;

    ReviewSheetTest() {
        QLocale::setDefault(QLocale(QLocale::Dutch, QLocale::Netherlands));
        window.resize(640, 520);
    }
    ~ReviewSheetTest() override {
        sheet.reset();
        QLocale::setDefault(QLocale::c());
    }

    // Shows the sheet over the window as the shelf window does. The files are grouped on a
    // worker: the list fills in from the event loop, and only then are their sizes asked for.
    void open(bool waitForList = true) {
        window.show();
        shelf->setReviewing(true);
        sheet = std::make_unique<ReviewSheet>(*shelf, &window);
        sheet->open();
        if (waitForList) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return sheet->model().filled(); }, 5000));
        }
    }
    void waitForSizes() {
        ASSERT_TRUE(QTest::qWaitFor([&] { return sheet->model().sizesKnown(); }, 5000));
    }
    bool listed(const fs::path &file) const { return sheet->model().fileIndex(file).isValid(); }
    void click(const QModelIndex &row) {
        sheet->view().scrollTo(row);
        QTest::mouseClick(sheet->view().viewport(), Qt::LeftButton, {},
                          sheet->view().visualRect(row).center());
    }
    void renew(const fs::path &file) {
        for (const Shelf::Item &item : shelf->items())
            if (item.path == file)
                return shelf->perform(Shelf::extend(file, Term::month), Shelf::Item(item));
        ADD_FAILURE() << file << " is not on the shelf";
    }
    static QString summary(int ticked, int listed, std::int64_t bytes) {
        return QStringLiteral("%1 van %2 · %3").arg(ticked).arg(listed).arg(byteCountText(bytes));
    }
};

} // namespace

// Every expired file starts ticked, counted at once and listed when grouped, its size a dash
// until it is counted; the file, row, folder and group ticks follow each other, and the count,
// summary and Trash button follow the ticks.
TEST_F(ReviewSheetTest, TicksOfFilesAndGroupsAndWhatTheyCount) {
    const fs::path oud = home / "Oud", werk = home / "Werk";
    loadShelf({home});
    open(false);
    EXPECT_EQ(sheet->summaryText(), "4 van 4 · 0 bytes, telt nog…");
    EXPECT_EQ(sheet->trashButton()->text(), "4 bestanden naar prullenbak");
    ASSERT_TRUE(QTest::qWaitFor([&] { return sheet->model().filled(); }, 5000));
    EXPECT_EQ(sheet->summaryText(), "4 van 4 · 0 bytes, telt nog…");
    for (const auto &file : {a, b, c, d})
        EXPECT_TRUE(sheet->isTicked(file) && sheet->sizeText(file) == "—") << file;
    EXPECT_FALSE(listed(fresh));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet.get()));
    waitForSizes();
    EXPECT_EQ(
        sheet->summaryText(),
        summary(4, 4, allocatedSize(a) + allocatedSize(b) + allocatedSize(c) + allocatedSize(d)));
    for (const auto &file : {a, b, c, d})
        EXPECT_EQ(sheet->sizeText(file), byteCountText(allocatedSize(file)));

    // A group's checkbox unticks only its own files.
    click(sheet->model().groupIndex(oud));
    EXPECT_EQ(sheet->groupState(oud), Qt::Unchecked);
    for (const auto &file : {a, b, c})
        EXPECT_FALSE(sheet->isTicked(file));
    EXPECT_EQ(sheet->trashButton()->text(), "1 bestand naar prullenbak");
    EXPECT_EQ(sheet->summaryText(), "1 van 4 · " + sheet->sizeText(d));

    // One file ticked: the group is mixed, and a click on it ticks them all.
    click(sheet->model().fileIndex(b));
    EXPECT_EQ(sheet->groupState(oud), Qt::PartiallyChecked);
    EXPECT_EQ(sheet->summaryText(), summary(2, 4, allocatedSize(b) + allocatedSize(d)));
    click(sheet->model().groupIndex(oud));
    EXPECT_EQ(sheet->groupState(oud), Qt::Checked);
    EXPECT_TRUE(sheet->isTicked(a));

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
    click(sheet->model().groupIndex(oud));
    click(sheet->model().groupIndex(werk));
    EXPECT_FALSE(sheet->trashButton()->isEnabled());
    EXPECT_EQ(sheet->trashButton()->text(), "0 bestanden naar prullenbak");
    EXPECT_EQ(sheet->summaryText(), "0 van 4 · 0 bytes");
    QTest::keyClick(&view, Qt::Key_Return);
    EXPECT_TRUE(sheet->isVisible());
    for (const auto &file : {a, b, c, d})
        EXPECT_TRUE(fs::exists(file));
}

// Closing, by any means, moves nothing and stops the counting of sizes.
TEST_F(ReviewSheetTest, EscapeLaterAndClosingEndTheReviewAndMoveNothing) {
    loadShelf({home});
    const auto items = shelf->items();
    for (const std::string way : {"Escape", "Later", "close"}) {
        SCOPED_TRACE(way);
        open();
        EXPECT_TRUE(shelf->diskUsage().busy());
        sheet->model().toggle(sheet->model().fileIndex(a));
        if (way == "Escape")
            QTest::keyClick(&sheet->view(), Qt::Key_Escape);
        else if (way == "Later")
            sheet->laterButton()->click();
        else
            sheet->close();
        EXPECT_FALSE(sheet->isVisible());
        EXPECT_EQ(sheet->result(), QDialog::Rejected);
        EXPECT_FALSE(shelf->reviewing());
        EXPECT_FALSE(shelf->diskUsage().busy());
        EXPECT_TRUE(fs::exists(a) && fs::exists(b));
        EXPECT_FALSE(fs::exists(dataHome / "Trash"));
        EXPECT_EQ(shelf->items(), items);
    }
}

// Folders give sections in path order, named with their parents. Return reaches the Trash button
// even from the other button, and moves what is ticked: a file with a name that is not UTF-8,
// and an expired folder, one row the size of its contents.
TEST_F(ReviewSheetTest, ReturnMovesTheTickedFilesAndFoldersToTheTrash) {
    const fs::path odd = stamped(home / "Downloads/Oud/caf\xe9.txt", -1);
    const fs::path outside = stamped(folder.path() / "elders/e.txt", -1);
    const fs::path project = home / "Werk/Project";
    fs::create_directories(project / "src");
    std::ofstream(project / "src/main.cpp") << std::string(50'000, 'x');
    std::ofstream(project / "notities.txt") << std::string(8'000, 'y');
    stamp(project, -2);
    loadShelf({home, outside.parent_path()});
    open();
    const std::vector<FolderGroup> expected = {{outside.parent_path(), {outside}},
                                               {home / "Downloads/Oud", {odd}},
                                               {home / "Oud", {a, b, c}},
                                               {home / "Werk", {d, project}}};
    EXPECT_EQ(sheet->groups(), expected);
    const auto groupTexts = [&](const fs::path &path) {
        const QModelIndex group = sheet->model().groupIndex(path);
        return QStringList{group.data().toString(),
                           group.data(ReviewListModel::ParentFolderRole).toString()};
    };
    EXPECT_EQ(groupTexts(home / "Downloads/Oud"), QStringList({"Oud", "~/Downloads"}));
    EXPECT_EQ(groupTexts(home / "Werk"), QStringList({"Werk", "~"}));
    EXPECT_EQ(groupTexts(outside.parent_path()),
              QStringList({"elders", QString::fromStdString(folder.path().string())}));
    EXPECT_EQ(sheet->model().groupIndex(home / "Werk").data(Qt::ToolTipRole).toString(),
              QString::fromStdString((home / "Werk").string()));
    EXPECT_EQ(sheet->summaryText().left(8), "7 van 7 ");
    EXPECT_FALSE(listed(project / "notities.txt"));
    waitForSizes();
    EXPECT_GE(sheet->fileSize(project), 58'000);
    EXPECT_EQ(sheet->fileSize(project), allocatedSize(project));
    sheet->model().toggle(sheet->model().fileIndex(b));
    sheet->laterButton()->setFocus();

    QTest::keyClick(sheet->laterButton(), Qt::Key_Return);
    EXPECT_EQ(sheet->result(), QDialog::Accepted);
    for (const auto &moved : {a, c, d, odd, project, outside}) {
        EXPECT_FALSE(fs::exists(moved)) << moved;
        EXPECT_TRUE(inTrash(moved)) << moved;
        EXPECT_FALSE(onShelf(moved)) << moved;
    }
    EXPECT_TRUE(fs::exists(dataHome / "Trash/files/Project/src/main.cpp"));
    const auto expired = shelf->items(Freshness::expired);
    ASSERT_EQ(expired.size(), 1u);
    EXPECT_EQ(expired.front().path, b);
}

// The Trash button waits neither for the sizes nor for the list: before the files are grouped,
// every file expired at the opening is ticked, and goes unless it was renewed meanwhile. A
// grouping overtaken by a newer one, and one still running when the sheet goes, come to nothing.
TEST_F(ReviewSheetTest, TheTrashButtonWorksBeforeTheListIsMade) {
    loadShelf({home});
    open(false);
    renew(d);
    ASSERT_FALSE(sheet->listFilled());
    EXPECT_TRUE(sheet->groups().empty());
    EXPECT_TRUE(sheet->trashButton()->isEnabled());
    sheet->trashButton()->click();
    EXPECT_EQ(sheet->result(), QDialog::Accepted);
    for (const auto &moved : {a, b, c})
        EXPECT_TRUE(inTrash(moved) && !fs::exists(moved)) << moved;
    for (const auto &kept : {d, fresh})
        EXPECT_TRUE(fs::exists(kept) && !inTrash(kept)) << kept;
}

// A ticked file whose date is renewed while the review is open, by the shelf or behind its back
// through the tag index, leaves the review: it no longer counts, and the Trash button leaves it
// where it is. A newly expired file joins unticked. The other ticks stay as the user set them,
// also while the list is being made anew.
TEST_F(ReviewSheetTest, AFileRenewedMeanwhileLeavesTheReviewAndStays) {
    loadShelf({home});
    open();
    sheet->model().toggle(sheet->model().fileIndex(a));
    // Unticked before the sizes are known, the rest still counting.
    EXPECT_EQ(sheet->summaryText(), "3 van 4 · 0 bytes, telt nog…");
    waitForSizes();
    ASSERT_EQ(sheet->summaryText(),
              summary(3, 4, allocatedSize(b) + allocatedSize(c) + allocatedSize(d)));

    renew(b);
    sheet->model().toggle(sheet->model().fileIndex(d));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !listed(b); }, 5000));
    EXPECT_FALSE(sheet->isTicked(d));
    EXPECT_EQ(sheet->summaryText(), summary(1, 3, allocatedSize(c)));

    stamp(d, 30);
    const fs::path late = stamped(home / "Oud/laat.txt", -1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !listed(d) && listed(late); }, 5000));
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
    EXPECT_TRUE(inTrash(c) && !fs::exists(c));
}
