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

    ReviewSheetTest() { QLocale::setDefault(QLocale(QLocale::Dutch, QLocale::Netherlands)); }
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
        ASSERT_TRUE(!waitForList || QTest::qWaitFor([&] { return sheet->model().filled(); }, 5000));
    }
    bool listed(const fs::path &file) const { return sheet->model().fileIndex(file).isValid(); }
    void click(const QModelIndex &row) {
        QTest::mouseClick(sheet->view().viewport(), Qt::LeftButton, {},
                          sheet->view().visualRect(row).center());
    }
    // The summary once the sizes are counted: ticked of listed, and the ticked files' size.
    QString summary(int ticked, int count, const std::vector<fs::path> &files) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return sheet->model().sizesKnown(); }, 5000));
        std::int64_t bytes = 0;
        for (const fs::path &file : files)
            bytes += allocatedSize(file);
        return QStringLiteral("%1 van %2 · %3").arg(ticked).arg(count).arg(byteCountText(bytes));
    }
};

} // namespace

// Every expired file starts ticked; the file, folder and group ticks follow each other, with the
// mouse and the keyboard, and the summary and Trash button follow the ticks.
TEST_F(ReviewSheetTest, TicksOfFilesAndGroupsAndWhatTheyCount) {
    const fs::path oud = home / "Oud", werk = home / "Werk";
    loadShelf({home});
    open();
    EXPECT_FALSE(listed(fresh));
    EXPECT_EQ(sheet->summaryText(), summary(4, 4, {a, b, c, d}));
    EXPECT_EQ(sheet->sizeText(c), byteCountText(allocatedSize(c)));

    // A group's checkbox unticks only its own files; one ticked again makes the group mixed.
    click(sheet->model().groupIndex(oud));
    EXPECT_FALSE(sheet->isTicked(a) || sheet->isTicked(b) || sheet->isTicked(c));
    EXPECT_EQ(sheet->trashButton()->text(), "1 bestand naar prullenbak");
    click(sheet->model().fileIndex(b));
    EXPECT_EQ(sheet->groupState(oud), Qt::PartiallyChecked);
    EXPECT_EQ(sheet->summaryText(), summary(2, 4, {b, d}));

    // The keyboard: arrows move through groups and files, Space toggles the current row.
    ReviewListView &view = sheet->view();
    view.setFocus();
    view.setCurrentIndex(sheet->model().groupIndex(oud));
    QTest::keyClick(&view, Qt::Key_Down);
    EXPECT_EQ(view.currentIndex(), sheet->model().fileIndex(a));
    QTest::keyClick(&view, Qt::Key_Space);
    EXPECT_TRUE(sheet->isTicked(a));
    QTest::keyClick(&view, Qt::Key_Up);
    QTest::keyClick(&view, Qt::Key_Space);
    EXPECT_EQ(sheet->groupState(oud), Qt::Checked);

    // Nothing ticked: the button is off, and Return moves nothing.
    click(sheet->model().groupIndex(oud));
    click(sheet->model().groupIndex(werk));
    EXPECT_FALSE(sheet->trashButton()->isEnabled());
    QTest::keyClick(&view, Qt::Key_Return);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_TRUE(fs::exists(a) && fs::exists(d));
}

// Closing, by any means, ends the review and moves nothing.
TEST_F(ReviewSheetTest, EscapeLaterAndClosingEndTheReviewAndMoveNothing) {
    loadShelf({home});
    for (const int way : {0, 1, 2}) {
        open();
        if (way == 0)
            QTest::keyClick(&sheet->view(), Qt::Key_Escape);
        else if (way == 1)
            sheet->laterButton()->click();
        else
            sheet->close();
        EXPECT_FALSE(sheet->isVisible()) << way;
        EXPECT_FALSE(shelf->reviewing()) << way;
        EXPECT_FALSE(shelf->diskUsage().busy()) << way;
        EXPECT_FALSE(fs::exists(dataHome / "Trash")) << way;
    }
}

// Folders give groups in path order, named with their parents. Return reaches the Trash button
// even from the other button, and moves only what is ticked.
TEST_F(ReviewSheetTest, ReturnMovesTheTickedFilesToTheTrash) {
    const fs::path odd = stamped(home / "Downloads/Oud/caf\xe9.txt", -1);
    loadShelf({home});
    open();
    EXPECT_EQ(sheet->groups(), (std::vector<FolderGroup>{{home / "Downloads/Oud", {odd}},
                                                         {home / "Oud", {a, b, c}},
                                                         {home / "Werk", {d}}}));
    const QModelIndex group = sheet->model().groupIndex(home / "Downloads/Oud");
    EXPECT_EQ(group.data(ReviewListModel::ParentFolderRole).toString(), "~/Downloads");
    sheet->model().toggle(sheet->model().fileIndex(b));
    sheet->laterButton()->setFocus();
    QTest::keyClick(sheet->laterButton(), Qt::Key_Return);
    EXPECT_EQ(sheet->result(), QDialog::Accepted);
    for (const auto &moved : {a, c, d, odd})
        EXPECT_TRUE(!fs::exists(moved) && inTrash(moved)) << moved;
    const auto expired = shelf->items(Freshness::expired);
    ASSERT_EQ(expired.size(), 1u);
    EXPECT_EQ(expired.front().path, b);
}

// The Trash button waits neither for the sizes nor for the list: before the files are grouped,
// every file expired at the opening goes unless it was renewed meanwhile.
TEST_F(ReviewSheetTest, TheTrashButtonWorksBeforeTheListIsMade) {
    loadShelf({home});
    open(false);
    const Shelf::Item renewed = shelf->items()[2]; // a, b, d, c by date and name
    ASSERT_EQ(renewed.path, d);
    shelf->perform(Shelf::extend(d, Term::month), renewed);
    ASSERT_FALSE(sheet->listFilled());
    sheet->trashButton()->click();
    for (const auto &moved : {a, b, c})
        EXPECT_TRUE(inTrash(moved) && !fs::exists(moved)) << moved;
    for (const auto &kept : {d, fresh})
        EXPECT_TRUE(fs::exists(kept) && !inTrash(kept)) << kept;
}

// A ticked file whose date is renewed behind the review's back leaves it: it no longer counts,
// and the Trash button leaves it where it is. A newly expired file joins unticked; the other
// ticks stay as the user set them.
TEST_F(ReviewSheetTest, AFileRenewedMeanwhileLeavesTheReviewAndStays) {
    loadShelf({home});
    open();
    sheet->model().toggle(sheet->model().fileIndex(a));
    stamp(b, 30);
    const fs::path late = stamped(home / "Oud/laat.txt", -1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !listed(b) && listed(late); }, 5000));
    EXPECT_FALSE(sheet->isTicked(late) || sheet->isTicked(a));
    EXPECT_EQ(sheet->summaryText(), summary(2, 4, {c, d}));

    sheet->trashButton()->click();
    for (const auto &kept : {a, b, late})
        EXPECT_TRUE(fs::exists(kept) && !inTrash(kept)) << kept;
    EXPECT_TRUE(inTrash(c) && inTrash(d));
}
