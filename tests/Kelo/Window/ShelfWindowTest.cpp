#include "ShelfWindow.h"
#include "ErrorPresenter.h"
#include "ExpiryStamp.h"
#include "ReviewSheet.h"
#include "ScopedEnvironment.h"
#include "Shelf.h"
#include "ShelfSupport.h"
#include "TagQuery.h"
#include "TemporaryFolder.h"

#include <QSignalSpy>
#include <QTest>

#include <fstream>

#include <gtest/gtest.h>

using namespace kelo;
namespace fs = std::filesystem;

namespace {

class ShelfWindowTest : public ::testing::Test {
protected:
    TemporaryFolder folder;
    fs::path root = folder.path() / "thuis";
    ScopedEnvironment dataHome{"XDG_DATA_HOME", (folder.path() / "data").c_str()};
    NoPresenter presenter;
    std::unique_ptr<Shelf> shelf;
    Calendar calendar = Calendar::current();

    // Files stamped so many days from today.
    void stamp(std::initializer_list<int> days) {
        fs::create_directories(root);
        const Instant today = calendar.startOfDay(currentInstant());
        int i = 0;
        for (int day : days) {
            const auto file = root / ("bestand-" + std::to_string(i++) + ".txt");
            std::ofstream(file) << day;
            ASSERT_FALSE(
                writeStamp(calendar.adding(today, DateComponent::Day, day), file, calendar));
        }
    }

    void makeShelf(bool waitForLoad = true) {
        fs::create_directories(root);
        shelf = shelfOver(root, presenter, waitForLoad);
        if (waitForLoad) {
            ASSERT_TRUE(shelf->loaded());
        }
    }
};

} // namespace

TEST_F(ShelfWindowTest, TheBodyShowsLoadingThenEmptyShelf) {
    makeShelf(false);
    ShelfWindow window(*shelf);
    EXPECT_EQ(window.windowTitle(), "Kelo");
    EXPECT_EQ(window.body(), ShelfWindow::Body::loading);
    EXPECT_EQ(window.subtitle(), "");
    QSignalSpy loaded(shelf.get(), &Shelf::loadedChanged);
    ASSERT_TRUE(loaded.wait(5000));
    EXPECT_EQ(window.body(), ShelfWindow::Body::empty);
    EXPECT_EQ(window.subtitle(), "");
}

TEST_F(ShelfWindowTest, SubtitleNamesTheExpiredCountOrTheNextToExpire) {
    stamp({40, 9});
    makeShelf();
    ShelfWindow window(*shelf);
    EXPECT_EQ(window.body(), ShelfWindow::Body::list);
    EXPECT_EQ(window.subtitle(), "Eerstvolgende: nog 9 dagen");
    EXPECT_EQ(window.property("keloSubtitle").toString(), "Eerstvolgende: nog 9 dagen");

    // One expired file: the count, whatever else there is.
    const auto item = shelf->items().front();
    shelf->perform(Shelf::Action([&] {
                       return writeStamp(calendar.startOfDay(currentInstant()), item.url, calendar);
                   }),
                   item);
    EXPECT_EQ(window.subtitle(), "1 over de datum");
}

TEST_F(ShelfWindowTest, TheReviewOpensAsASheetWhileReviewing) {
    stamp({-1, -2, 5});
    makeShelf();
    ShelfWindow window(*shelf);
    window.present();
    EXPECT_EQ(window.reviewSheet(), nullptr);
    shelf->requestReview();
    ASSERT_NE(window.reviewSheet(), nullptr);
    EXPECT_TRUE(window.reviewSheet()->isVisible());
    EXPECT_EQ(window.reviewSheet()->windowModality(), Qt::WindowModal);
    // Escape closes it, and the shelf stops reviewing.
    QTest::keyClick(window.reviewSheet(), Qt::Key_Escape);
    EXPECT_FALSE(shelf->reviewing());
    QTest::qWait(10);
    EXPECT_EQ(window.reviewSheet(), nullptr);
}

TEST_F(ShelfWindowTest, AReviewRequestedWhileHiddenOpensWhenTheWindowIsShown) {
    stamp({-1});
    makeShelf();
    ShelfWindow window(*shelf);
    shelf->requestReview();
    EXPECT_EQ(window.reviewSheet(), nullptr);
    window.present();
    ASSERT_NE(window.reviewSheet(), nullptr);
}
