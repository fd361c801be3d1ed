#include "ShelfWindow.h"
#include "StampedHome.h"

#include <QTest>

using namespace kelo;
using ShelfWindowTest = StampedHome;

// The body shows the progress while the shelf loads, then the empty shelf or the list; the
// subtitle, as the header and the snapshot's title bar read it, names the expired count or the
// next to expire.
TEST_F(ShelfWindowTest, BodyAndSubtitleFollowTheShelf) {
    loadShelf({home}, false);
    ShelfWindow window(*shelf);
    const auto subtitle = [&] { return window.property("keloSubtitle").toString(); };
    EXPECT_EQ(window.body(), ShelfWindow::Body::loading);
    ASSERT_TRUE(QSignalSpy(shelf.get(), &Shelf::loadedChanged).wait(5000));
    EXPECT_EQ(window.body(), ShelfWindow::Body::empty);
    EXPECT_EQ(subtitle(), "");

    stamped(home / "a.txt", 40);
    stamped(home / "b.txt", 9);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shelf->items().size() == 2; }, 5000));
    EXPECT_EQ(window.body(), ShelfWindow::Body::list);
    EXPECT_EQ(subtitle(), "Eerstvolgende: nog 9 dagen");
    const auto item = shelf->items().front();
    shelf->perform(Shelf::Action([&] { return writeStamp(today, item.path, calendar); }), item);
    EXPECT_EQ(subtitle(), "1 over de datum");
}
