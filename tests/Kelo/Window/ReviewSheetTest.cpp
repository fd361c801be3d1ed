#include "ReviewSheet.h"
#include "StampedHome.h"

#include "ByteCount.h"
#include "ShelfOrder.h"

#include <QCheckBox>
#include <QLabel>
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

    static QStringList labelTexts(const QWidget *row) {
        QStringList texts;
        for (const QLabel *label : row->findChildren<QLabel *>())
            if (!label->text().isEmpty())
                texts << label->text();
        return texts;
    }

    static void pressKey(ReviewSheet &sheet, Qt::Key key) {
        QTest::keyClick(sheet.focusWidget() ? sheet.focusWidget() : &sheet, key);
    }
};

QString summary(int ticked, int listed, std::int64_t bytes) {
    return QStringLiteral("%1 van %2 · %3").arg(ticked).arg(listed).arg(byteCountText(bytes));
}

} // namespace

// Every expired file starts ticked; the file, row, folder and group ticks follow each other, and
// the count, summary and Trash button follow the ticks.
TEST_F(ReviewSheetTest, TicksOfFilesAndGroupsAndWhatTheyCount) {
    const fs::path a = stamped(home / "Oud/a.pdf", -3, 10'000);
    const fs::path b = stamped(home / "Oud/b.txt", -1, 200'000);
    const fs::path c = stamped(home / "Oud/c.zip", 0, 3'000'000);
    const fs::path other = stamped(home / "Werk/d.txt", -1, 5'000);
    const fs::path fresh = stamped(home / "Oud/vers.txt", 40);
    loadShelf({home});
    const auto sheet = openSheet();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet.get()));
    QCheckBox *oud = sheet->groupCheckBox(home / "Oud");
    QCheckBox *werk = sheet->groupCheckBox(home / "Werk");
    ASSERT_TRUE(oud && werk);

    EXPECT_EQ(sheet->summaryText(), summary(4, 4,
                                            allocatedSize(a) + allocatedSize(b) + allocatedSize(c) +
                                                allocatedSize(other)));
    EXPECT_EQ(sheet->trashButton()->text(), "4 bestanden naar prullenbak");
    EXPECT_TRUE(sheet->trashButton()->isEnabled());
    for (const auto &file : {a, b, c, other}) {
        ASSERT_NE(sheet->fileCheckBox(file), nullptr);
        EXPECT_TRUE(sheet->fileCheckBox(file)->isChecked());
        EXPECT_EQ(sheet->sizeText(file), byteCountText(allocatedSize(file)));
    }
    EXPECT_EQ(sheet->fileCheckBox(fresh), nullptr);
    EXPECT_EQ(oud->checkState(), Qt::Checked);

    // A group's checkbox unticks only its own files.
    oud->click();
    EXPECT_EQ(oud->checkState(), Qt::Unchecked);
    for (const auto &file : {a, b, c})
        EXPECT_FALSE(sheet->fileCheckBox(file)->isChecked());
    EXPECT_EQ(werk->checkState(), Qt::Checked);
    EXPECT_EQ(sheet->trashButton()->text(), "1 bestand naar prullenbak");
    EXPECT_EQ(sheet->summaryText(), "1 van 4 · " + sheet->sizeText(other));

    // One file ticked: the group is partly ticked, and its checkbox ticks them all.
    sheet->fileCheckBox(b)->click();
    EXPECT_EQ(oud->checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(sheet->summaryText(), summary(2, 4, allocatedSize(b) + allocatedSize(other)));
    oud->click();
    EXPECT_EQ(oud->checkState(), Qt::Checked);
    EXPECT_TRUE(sheet->fileCheckBox(a)->isChecked());
    EXPECT_EQ(sheet->trashButton()->text(), "4 bestanden naar prullenbak");

    // A click on the row's name toggles its checkbox, one on the group's header the group's.
    QLabel *name = nullptr;
    for (QLabel *label : sheet->fileCheckBox(a)->parentWidget()->findChildren<QLabel *>())
        if (label->text() == "a.pdf")
            name = label;
    ASSERT_NE(name, nullptr);
    QTest::mouseClick(name, Qt::LeftButton);
    EXPECT_FALSE(sheet->fileCheckBox(a)->isChecked());
    EXPECT_EQ(oud->checkState(), Qt::PartiallyChecked);
    QTest::mouseClick(sheet->groupHeader(home / "Oud"), Qt::LeftButton);
    EXPECT_TRUE(sheet->fileCheckBox(a)->isChecked());

    // Nothing ticked: the button is off, and Return does nothing.
    oud->click();
    werk->click();
    EXPECT_FALSE(sheet->trashButton()->isEnabled());
    EXPECT_EQ(sheet->trashButton()->text(), "0 bestanden naar prullenbak");
    EXPECT_EQ(sheet->summaryText(), "0 van 4 · 0 bytes");
    pressKey(*sheet, Qt::Key_Return);
    EXPECT_TRUE(sheet->isVisible());
    for (const auto &file : {a, b, c, other})
        EXPECT_TRUE(fs::exists(file));
}

TEST_F(ReviewSheetTest, EscapeLaterAndClosingEndTheReviewAndMoveNothing) {
    const fs::path a = stamped(home / "Oud/a.pdf", -3);
    const fs::path b = stamped(home / "Oud/b.txt", -1);
    loadShelf({home});
    const auto items = shelf->items();
    for (const char *way : {"Escape", "Later", "close"}) {
        SCOPED_TRACE(way);
        const auto sheet = openSheet();
        sheet->fileCheckBox(a)->click();
        if (way == std::string("Escape"))
            pressKey(*sheet, Qt::Key_Escape);
        else if (way == std::string("Later"))
            sheet->laterButton()->click();
        else
            sheet->close();
        EXPECT_FALSE(sheet->isVisible());
        EXPECT_EQ(sheet->result(), QDialog::Rejected);
        EXPECT_FALSE(shelf->reviewing());
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
    const std::vector<FolderGroup> expected = {{outside.parent_path(), {outside}},
                                               {home / "Downloads" / "Oud", {a, b, odd}},
                                               {home / "Werk", {c, project}}};
    EXPECT_EQ(sheet->groups(), expected);
    EXPECT_EQ(labelTexts(sheet->groupHeader(home / "Downloads" / "Oud")),
              QStringList({"Oud", "~/Downloads"}));
    EXPECT_EQ(labelTexts(sheet->groupHeader(home / "Werk")), QStringList({"Werk", "~"}));
    EXPECT_EQ(labelTexts(sheet->groupHeader(outside.parent_path())),
              QStringList({"elders", QString::fromStdString(folder.path().string())}));
    EXPECT_EQ(sheet->groupHeader(home / "Werk")->toolTip(),
              QString::fromStdString((home / "Werk").string()));
    EXPECT_EQ(sheet->summaryText().left(8), "6 van 6 ");
    ASSERT_NE(sheet->fileCheckBox(project), nullptr);
    EXPECT_EQ(sheet->fileCheckBox(project / "notities.txt"), nullptr);
    EXPECT_GE(sheet->fileSize(project), 58'000);
    EXPECT_EQ(sheet->fileSize(project), allocatedSize(project));
    EXPECT_EQ(sheet->sizeText(project), byteCountText(allocatedSize(project)));
    sheet->fileCheckBox(b)->click();
    sheet->laterButton()->setFocus();

    pressKey(*sheet, Qt::Key_Return);
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
    EXPECT_EQ(expired.front().url, b);
}

// A ticked file whose date is renewed while the review is open, by the shelf or behind its back
// through the tag index, leaves the review: it no longer counts, and the Trash button leaves it
// where it is. A newly expired file joins unticked. The other ticks stay as the user set them.
TEST_F(ReviewSheetTest, AFileRenewedMeanwhileLeavesTheReviewAndStays) {
    const fs::path a = stamped(home / "Oud/a.pdf", -3, 10'000);
    const fs::path b = stamped(home / "Oud/b.txt", -1, 200'000);
    const fs::path c = stamped(home / "Oud/c.zip", 0, 3'000'000);
    const fs::path d = stamped(home / "Oud/d.txt", -2, 1'000);
    loadShelf({home});
    const auto sheet = openSheet();
    sheet->fileCheckBox(a)->click();
    ASSERT_EQ(sheet->summaryText(),
              summary(3, 4, allocatedSize(b) + allocatedSize(c) + allocatedSize(d)));

    const auto renewed = std::find_if(shelf->items().begin(), shelf->items().end(),
                                      [&](const Shelf::Item &item) { return item.url == b; });
    ASSERT_NE(renewed, shelf->items().end());
    shelf->perform(Shelf::extend(b, Term::month), Shelf::Item(*renewed));
    EXPECT_EQ(sheet->fileCheckBox(b), nullptr);
    EXPECT_EQ(sheet->summaryText(), summary(2, 3, allocatedSize(c) + allocatedSize(d)));

    stamp(d, 30);
    const fs::path late = stamped(home / "Oud/laat.txt", -1);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !sheet->fileCheckBox(d) && sheet->fileCheckBox(late); }, 5000));
    EXPECT_FALSE(sheet->fileCheckBox(late)->isChecked());
    EXPECT_FALSE(sheet->fileCheckBox(a)->isChecked());
    EXPECT_TRUE(sheet->fileCheckBox(c)->isChecked());
    EXPECT_EQ(sheet->summaryText(), summary(1, 3, allocatedSize(c)));
    EXPECT_EQ(sheet->trashButton()->text(), "1 bestand naar prullenbak");
    EXPECT_EQ(sheet->groupCheckBox(home / "Oud")->checkState(), Qt::PartiallyChecked);

    sheet->trashButton()->click();
    for (const auto &kept : {a, b, d, late})
        EXPECT_TRUE(fs::exists(kept) && !inTrash(kept)) << kept;
    EXPECT_TRUE(onShelf(b));
    EXPECT_FALSE(fs::exists(c));
    EXPECT_TRUE(inTrash(c));
}
