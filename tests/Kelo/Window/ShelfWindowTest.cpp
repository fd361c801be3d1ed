#include "ShelfWindow.h"
#include "ReviewSheet.h"
#include "StampedHome.h"

#include <QTest>

using namespace kelo;

namespace {

using ShelfWindowTest = StampedHome;

} // namespace

// The body shows the progress while the shelf loads, then the empty shelf or the list; the
// subtitle, as the header and the snapshot's title bar read it, names the expired count or the
// next to expire.
TEST_F(ShelfWindowTest, BodyAndSubtitleFollowTheShelf) {
    loadShelf({home}, false);
    ShelfWindow window(*shelf);
    const auto subtitle = [&] { return window.property("keloSubtitle").toString(); };
    EXPECT_EQ(window.windowTitle(), "Kelo");
    EXPECT_EQ(window.body(), ShelfWindow::Body::loading);
    EXPECT_EQ(subtitle(), "");
    QSignalSpy loaded(shelf.get(), &Shelf::loadedChanged);
    ASSERT_TRUE(loaded.wait(5000));
    EXPECT_EQ(window.body(), ShelfWindow::Body::empty);
    EXPECT_EQ(subtitle(), "");

    stamped(home / "a.txt", 40);
    stamped(home / "b.txt", 9);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shelf->items().size() == 2; }, 5000));
    EXPECT_EQ(window.body(), ShelfWindow::Body::list);
    EXPECT_EQ(subtitle(), "Eerstvolgende: nog 9 dagen");
    // One expired file: the count, whatever else there is.
    const auto item = shelf->items().front();
    shelf->perform(Shelf::Action([&] { return writeStamp(today, item.path, calendar); }), item);
    EXPECT_EQ(subtitle(), "1 over de datum");
}

// A review requested while the window is hidden waits for it; shown, the review is a sheet.
TEST_F(ShelfWindowTest, TheReviewOpensAsASheetWhenTheWindowIsShown) {
    stamped(home / "a.txt", -1);
    stamped(home / "c.txt", 5);
    loadShelf({home});
    ShelfWindow window(*shelf);
    shelf->requestReview();
    EXPECT_EQ(window.reviewSheet(), nullptr);
    window.present();
    ASSERT_NE(window.reviewSheet(), nullptr);
    EXPECT_TRUE(window.reviewSheet()->isVisible());
    EXPECT_EQ(window.reviewSheet()->windowModality(), Qt::WindowModal);
    // Escape closes it, and the shelf stops reviewing.
    QTest::keyClick(window.reviewSheet(), Qt::Key_Escape);
    EXPECT_FALSE(shelf->reviewing());
    QTest::qWait(10);
    EXPECT_EQ(window.reviewSheet(), nullptr);
    // Asked for again while the window is shown, it opens at once.
    shelf->requestReview();
    ASSERT_NE(window.reviewSheet(), nullptr);
    EXPECT_TRUE(window.reviewSheet()->isVisible());
}
