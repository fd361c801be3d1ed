#include "ReviewSheet.h"
#include "ShelfSupport.h"

#include "Appearance.h"
#include "ByteCount.h"
#include "ErrorPresenter.h"
#include "ExpiryStamp.h"
#include "ScopedEnvironment.h"
#include "Shelf.h"
#include "ShelfOrder.h"
#include "TagQuery.h"
#include "TemporaryFolder.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <fstream>

#include <gtest/gtest.h>

using namespace kelo;
namespace fs = std::filesystem;

namespace {

class ReviewSheetTest : public ::testing::Test {
protected:
    TemporaryFolder folder;
    // The home folder is searched; the Trash lies outside it, in a data folder not made yet.
    fs::path home = folder.path() / "thuis";
    fs::path dataHome = folder.path() / "data";
    ScopedEnvironment homeVariable{"HOME", home.c_str()};
    ScopedEnvironment dataHomeVariable{"XDG_DATA_HOME", dataHome.c_str()};
    NoPresenter presenter;
    std::unique_ptr<Shelf> shelf;
    QWidget window;
    Calendar calendar = Calendar::current();
    Instant today = calendar.startOfDay(currentInstant());

    void SetUp() override {
        QLocale::setDefault(QLocale(QLocale::Dutch, QLocale::Netherlands));
        fs::create_directories(home);
        window.resize(640, 520);
    }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }

    // A file of `bytes` bytes (or a folder, when `bytes` is negative) that goes past its date in
    // `days` days: negative for expired.
    fs::path stamped(const fs::path &relative, int days, std::size_t bytes = 100) {
        const fs::path file = home / relative;
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << std::string(bytes, 'x');
        stamp(file, days);
        return file;
    }
    void stamp(const fs::path &file, int days) {
        ASSERT_FALSE(writeStamp(calendar.adding(today, DateComponent::Day, days), file, calendar));
    }

    void loadShelf() {
        TagIndex::Options options;
        options.scope.roots.push_back({home, true});
        shelf = std::make_unique<Shelf>(std::make_unique<TagQuery>(std::move(options)), presenter);
        QSignalSpy loaded(shelf.get(), &Shelf::loadedChanged);
        ASSERT_TRUE(loaded.wait(5000));
    }

    bool onShelf(const fs::path &file) const {
        const auto &items = shelf->items();
        return std::any_of(items.begin(), items.end(),
                           [&](const Shelf::Item &item) { return item.url == file; });
    }
    bool inTrash(const fs::path &file) const {
        return fs::exists(dataHome / "Trash" / "files" / file.filename());
    }

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
        QWidget *target = sheet.focusWidget() ? sheet.focusWidget() : &sheet;
        QTest::keyClick(target, key);
    }
};

QString summary(int ticked, int listed, std::int64_t bytes) {
    return QStringLiteral("%1 van %2 · %3").arg(ticked).arg(listed).arg(byteCountText(bytes));
}

} // namespace

TEST_F(ReviewSheetTest, EveryExpiredFileStartsTicked) {
    const fs::path a = stamped("Oud/a.pdf", -3, 10'000);
    const fs::path b = stamped("Oud/b.txt", -1, 200'000);
    const fs::path c = stamped("Oud/c.zip", 0, 3'000'000);
    const fs::path fresh = stamped("Oud/vers.txt", 40);
    loadShelf();
    const auto sheet = openSheet();

    EXPECT_EQ(sheet->size(), QSize(560, 480));
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_EQ(sheet->summaryText(),
              summary(3, 3, allocatedSize(a) + allocatedSize(b) + allocatedSize(c)));
    EXPECT_EQ(sheet->trashButton()->text(), "3 bestanden naar prullenbak");
    EXPECT_TRUE(sheet->trashButton()->isEnabled());
    EXPECT_TRUE(sheet->trashButton()->isDefault());
    EXPECT_EQ(sheet->laterButton()->text(), "Later");
    for (const auto &file : {a, b, c}) {
        ASSERT_NE(sheet->fileCheckBox(file), nullptr);
        EXPECT_TRUE(sheet->fileCheckBox(file)->isChecked());
        EXPECT_EQ(sheet->sizeText(file), byteCountText(allocatedSize(file)));
    }
    EXPECT_EQ(sheet->fileCheckBox(fresh), nullptr);
    EXPECT_EQ(sheet->groupCheckBox(home / "Oud")->checkState(), Qt::Checked);
}

TEST_F(ReviewSheetTest, UntickingTwoLeavesOne) {
    const fs::path a = stamped("Oud/a.pdf", -3, 10'000);
    const fs::path b = stamped("Oud/b.txt", -1, 200'000);
    const fs::path c = stamped("Oud/c.zip", 0, 3'000'000);
    loadShelf();
    const auto sheet = openSheet();

    sheet->fileCheckBox(a)->click();
    sheet->fileCheckBox(c)->click();
    EXPECT_EQ(sheet->trashButton()->text(), "1 bestand naar prullenbak");
    EXPECT_EQ(sheet->summaryText(), summary(1, 3, allocatedSize(b)));
    EXPECT_EQ(sheet->summaryText(), "1 van 3 · " + sheet->sizeText(b));
    EXPECT_TRUE(sheet->trashButton()->isEnabled());
}

TEST_F(ReviewSheetTest, UntickingEveryFileDisablesTheTrashButton) {
    const fs::path a = stamped("Oud/a.pdf", -3);
    const fs::path b = stamped("Oud/b.txt", -1);
    const fs::path c = stamped("Oud/c.zip", 0);
    loadShelf();
    const auto sheet = openSheet();

    for (const auto &file : {a, b, c})
        sheet->fileCheckBox(file)->click();
    EXPECT_FALSE(sheet->trashButton()->isEnabled());
    EXPECT_EQ(sheet->trashButton()->text(), "0 bestanden naar prullenbak");
    EXPECT_EQ(sheet->summaryText(), "0 van 3 · 0 bytes");
    EXPECT_EQ(sheet->groupCheckBox(home / "Oud")->checkState(), Qt::Unchecked);

    // Return does nothing while nothing is ticked.
    pressKey(*sheet, Qt::Key_Return);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_TRUE(fs::exists(a));
}

TEST_F(ReviewSheetTest, TheGroupCheckboxFollowsItsFilesAndTicksThemAll) {
    const fs::path a = stamped("Oud/a.pdf", -3);
    const fs::path b = stamped("Oud/b.txt", -1);
    const fs::path other = stamped("Werk/c.txt", -1);
    loadShelf();
    const auto sheet = openSheet();
    QCheckBox *group = sheet->groupCheckBox(home / "Oud");
    ASSERT_NE(group, nullptr);

    sheet->fileCheckBox(b)->click();
    EXPECT_EQ(group->checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(sheet->groupCheckBox(home / "Werk")->checkState(), Qt::Checked);

    group->click();
    EXPECT_EQ(group->checkState(), Qt::Checked);
    EXPECT_TRUE(sheet->fileCheckBox(a)->isChecked());
    EXPECT_TRUE(sheet->fileCheckBox(b)->isChecked());
    EXPECT_EQ(sheet->trashButton()->text(), "3 bestanden naar prullenbak");

    group->click();
    EXPECT_EQ(group->checkState(), Qt::Unchecked);
    EXPECT_FALSE(sheet->fileCheckBox(a)->isChecked());
    EXPECT_FALSE(sheet->fileCheckBox(b)->isChecked());
    EXPECT_TRUE(sheet->fileCheckBox(other)->isChecked());
    EXPECT_EQ(sheet->trashButton()->text(), "1 bestand naar prullenbak");
}

TEST_F(ReviewSheetTest, AClickOnTheRowTogglesTheCheckbox) {
    const fs::path a = stamped("Oud/a.pdf", -3);
    stamped("Oud/b.txt", -1);
    loadShelf();
    const auto sheet = openSheet();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet.get()));

    QWidget *row = sheet->fileCheckBox(a)->parentWidget();
    QLabel *name = nullptr;
    for (QLabel *label : row->findChildren<QLabel *>())
        if (label->text() == "a.pdf")
            name = label;
    ASSERT_NE(name, nullptr);
    QTest::mouseClick(name, Qt::LeftButton);
    EXPECT_FALSE(sheet->fileCheckBox(a)->isChecked());
    EXPECT_EQ(sheet->groupCheckBox(home / "Oud")->checkState(), Qt::PartiallyChecked);
    QTest::mouseClick(sheet->groupHeader(home / "Oud"), Qt::LeftButton);
    EXPECT_TRUE(sheet->fileCheckBox(a)->isChecked());
}

TEST_F(ReviewSheetTest, EscapeClosesAndMovesNothing) {
    const fs::path a = stamped("Oud/a.pdf", -3);
    const fs::path b = stamped("Oud/b.txt", -1);
    loadShelf();
    const auto items = shelf->items();
    const auto sheet = openSheet();
    sheet->fileCheckBox(a)->click();

    pressKey(*sheet, Qt::Key_Escape);
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(sheet->result(), QDialog::Rejected);
    EXPECT_FALSE(shelf->reviewing());
    EXPECT_TRUE(fs::exists(a));
    EXPECT_TRUE(fs::exists(b));
    EXPECT_FALSE(fs::exists(dataHome / "Trash"));
    EXPECT_EQ(shelf->items(), items);
}

TEST_F(ReviewSheetTest, LaterClosesAndMovesNothing) {
    const fs::path a = stamped("Oud/a.pdf", -3);
    loadShelf();
    const auto items = shelf->items();
    const auto sheet = openSheet();

    sheet->laterButton()->click();
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_FALSE(shelf->reviewing());
    EXPECT_TRUE(fs::exists(a));
    EXPECT_EQ(shelf->items(), items);
}

TEST_F(ReviewSheetTest, ClosingTheWindowEndsTheReview) {
    stamped("Oud/a.pdf", -3);
    loadShelf();
    const auto sheet = openSheet();
    sheet->close();
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_FALSE(shelf->reviewing());
}

TEST_F(ReviewSheetTest, ReturnMovesTheTickedFilesToTheTrash) {
    const fs::path a = stamped("Oud/a.pdf", -3);
    const fs::path b = stamped("Oud/b.txt", -1);
    const fs::path c = stamped("Werk/c.txt", 0);
    loadShelf();
    const auto sheet = openSheet();
    sheet->fileCheckBox(b)->click();
    // Return reaches the Trash button even from the other button.
    sheet->laterButton()->setFocus();

    pressKey(*sheet, Qt::Key_Return);
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(sheet->result(), QDialog::Accepted);
    EXPECT_FALSE(shelf->reviewing());
    for (const auto &moved : {a, c}) {
        EXPECT_FALSE(fs::exists(moved)) << moved;
        EXPECT_TRUE(inTrash(moved)) << moved;
        EXPECT_FALSE(onShelf(moved)) << moved;
    }
    EXPECT_TRUE(fs::exists(b));
    const auto expired = shelf->items(Freshness::expired);
    ASSERT_EQ(expired.size(), 1u);
    EXPECT_EQ(expired.front().url, b);
}

TEST_F(ReviewSheetTest, FoldersGiveSectionsInPathOrderWithTheirParents) {
    const fs::path werk = stamped("Werk/c.txt", -1);
    const fs::path oud = stamped("Downloads/Oud/a.pdf", -2);
    const fs::path outside = folder.path() / "elders" / "d.txt";
    fs::create_directories(outside.parent_path());
    std::ofstream(outside) << "d";
    stamp(outside, -1);
    TagIndex::Options options;
    options.scope.roots.push_back({home, true});
    options.scope.roots.push_back({outside.parent_path(), true});
    shelf = std::make_unique<Shelf>(std::make_unique<TagQuery>(std::move(options)), presenter);
    QSignalSpy loaded(shelf.get(), &Shelf::loadedChanged);
    ASSERT_TRUE(loaded.wait(5000));
    const auto sheet = openSheet();

    const std::vector<FolderGroup> expected = {{outside.parent_path(), {outside}},
                                               {home / "Downloads" / "Oud", {oud}},
                                               {home / "Werk", {werk}}};
    EXPECT_EQ(sheet->groups(), expected);
    EXPECT_EQ(labelTexts(sheet->groupHeader(home / "Downloads" / "Oud")),
              QStringList({"Oud", "~/Downloads"}));
    EXPECT_EQ(labelTexts(sheet->groupHeader(home / "Werk")), QStringList({"Werk", "~"}));
    EXPECT_EQ(labelTexts(sheet->groupHeader(outside.parent_path())),
              QStringList({"elders", QString::fromStdString(folder.path().string())}));
    EXPECT_EQ(sheet->groupHeader(home / "Werk")->toolTip(),
              QString::fromStdString((home / "Werk").string()));
    EXPECT_EQ(sheet->summaryText().left(8), "3 van 3 ");
}

TEST_F(ReviewSheetTest, AnExpiredFolderIsOneRowWithTheSizeOfItsContents) {
    const fs::path project = home / "Werk" / "Project";
    fs::create_directories(project / "src");
    std::ofstream(project / "src" / "main.cpp") << std::string(50'000, 'x');
    std::ofstream(project / "notities.txt") << std::string(8'000, 'y');
    stamp(project, -2);
    loadShelf();
    const auto sheet = openSheet();

    const std::vector<FolderGroup> expected = {{home / "Werk", {project}}};
    EXPECT_EQ(sheet->groups(), expected);
    ASSERT_NE(sheet->fileCheckBox(project), nullptr);
    EXPECT_EQ(sheet->fileCheckBox(project / "notities.txt"), nullptr);
    EXPECT_GE(sheet->fileSize(project), 58'000);
    EXPECT_EQ(sheet->fileSize(project), allocatedSize(project));
    EXPECT_EQ(sheet->sizeText(project), byteCountText(allocatedSize(project)));
    EXPECT_EQ(sheet->summaryText(), summary(1, 1, allocatedSize(project)));

    sheet->trashButton()->click();
    EXPECT_FALSE(fs::exists(project));
    EXPECT_TRUE(fs::exists(dataHome / "Trash" / "files" / "Project" / "src" / "main.cpp"));
}

// A ticked file whose date is renewed while the review is open leaves the review: it no longer
// counts, and the Trash button leaves it where it is. The other ticks stay as the user set them.
TEST_F(ReviewSheetTest, AFileRenewedMeanwhileLeavesTheReviewAndStays) {
    const fs::path a = stamped("Oud/a.pdf", -3, 10'000);
    const fs::path b = stamped("Oud/b.txt", -1, 200'000);
    const fs::path c = stamped("Oud/c.zip", 0, 3'000'000);
    loadShelf();
    const auto sheet = openSheet();
    sheet->fileCheckBox(a)->click();
    ASSERT_EQ(sheet->summaryText(), summary(2, 3, allocatedSize(b) + allocatedSize(c)));

    const auto renewed = std::find_if(shelf->items().begin(), shelf->items().end(),
                                      [&](const Shelf::Item &item) { return item.url == b; });
    ASSERT_NE(renewed, shelf->items().end());
    shelf->perform(Shelf::extend(b, Term::month), Shelf::Item(*renewed));

    EXPECT_EQ(sheet->fileCheckBox(b), nullptr);
    EXPECT_FALSE(sheet->fileCheckBox(a)->isChecked());
    EXPECT_TRUE(sheet->fileCheckBox(c)->isChecked());
    EXPECT_EQ(sheet->summaryText(), summary(1, 2, allocatedSize(c)));
    EXPECT_EQ(sheet->trashButton()->text(), "1 bestand naar prullenbak");
    EXPECT_EQ(sheet->groupCheckBox(home / "Oud")->checkState(), Qt::PartiallyChecked);

    sheet->trashButton()->click();
    EXPECT_TRUE(fs::exists(b));
    EXPECT_FALSE(inTrash(b));
    EXPECT_TRUE(onShelf(b));
    EXPECT_TRUE(fs::exists(a));
    EXPECT_FALSE(fs::exists(c));
    EXPECT_TRUE(inTrash(c));
}

// The same through the tag index: the stamp is written behind the shelf's back.
TEST_F(ReviewSheetTest, ARenewalSeenByTheIndexUpdatesTheReview) {
    const fs::path a = stamped("Oud/a.pdf", -3);
    const fs::path b = stamped("Oud/b.txt", -1);
    loadShelf();
    const auto sheet = openSheet();

    QSignalSpy changed(shelf.get(), &Shelf::itemsChanged);
    stamp(b, 30);
    ASSERT_TRUE(QTest::qWaitFor([&] { return sheet->fileCheckBox(b) == nullptr; }, 5000));
    EXPECT_EQ(sheet->summaryText(), summary(1, 1, allocatedSize(a)));
    sheet->trashButton()->click();
    EXPECT_TRUE(fs::exists(b));
    EXPECT_FALSE(fs::exists(a));
}

TEST_F(ReviewSheetTest, AFileThatJoinsTheListWhileOpenStartsUnticked) {
    const fs::path a = stamped("Oud/a.pdf", -3);
    loadShelf();
    const auto sheet = openSheet();

    const fs::path late = stamped("Oud/laat.txt", -1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return sheet->fileCheckBox(late) != nullptr; }, 5000));
    EXPECT_FALSE(sheet->fileCheckBox(late)->isChecked());
    EXPECT_TRUE(sheet->fileCheckBox(a)->isChecked());
    EXPECT_EQ(sheet->summaryText(), summary(1, 2, allocatedSize(a)));
    EXPECT_EQ(sheet->groupCheckBox(home / "Oud")->checkState(), Qt::PartiallyChecked);
}

TEST_F(ReviewSheetTest, NamesThatAreNotUtf8AreListedAndMoved) {
    const fs::path odd = stamped("Oud/caf\xe9.txt", -1);
    loadShelf();
    const auto sheet = openSheet();
    ASSERT_NE(sheet->fileCheckBox(odd), nullptr);
    pressKey(*sheet, Qt::Key_Return);
    EXPECT_FALSE(fs::exists(odd));
    EXPECT_TRUE(inTrash(odd));
}

// Pictures of the sheet in both appearances, written where KELO_SNAPSHOT_DIR says.
TEST_F(ReviewSheetTest, Pictures) {
    const QByteArray target = qgetenv("KELO_SNAPSHOT_DIR");
    if (target.isEmpty())
        GTEST_SKIP() << "KELO_SNAPSHOT_DIR is not set";
    stamped("Downloads/Oud/Factuur 2023-114.pdf", -40, 184'000);
    stamped("Downloads/Oud/IMG_4821.jpg", -12, 4'200'000);
    const fs::path kept =
        stamped("Downloads/Oud/Offerte dakkapel (definitief, echt).docx", -3, 38'000);
    stamped("Downloads/Oud/installer-1.4.2-x86_64.AppImage", -2, 96'500'000);
    stamped("Werk/notulen-overleg.txt", -9, 2'300);
    const fs::path project = home / "Werk" / "Project Zonnepanelen";
    fs::create_directories(project);
    std::ofstream(project / "tekening.svg") << std::string(1'340'000, 'z');
    stamp(project, -1);
    loadShelf();

    for (const bool dark : {false, true}) {
        applyAppearance(dark ? darkPalette() : lightPalette());
        const auto sheet = openSheet();
        sheet->fileCheckBox(kept)->click();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet.get()));
        const QString name = dark ? "kelo-review-dark.png" : "kelo-review.png";
        EXPECT_TRUE(sheet->grab().save(QString::fromLocal8Bit(target) + "/" + name));
        sheet->reject();
    }
    applyAppearance(lightPalette());
}
