// One clock for all of Kelo: under a test clock weeks ahead, the shelf's sections, the days left
// on a row and in the window's subtitle, and the date an extension gives all count from it.
#include "Clock.h"
#include "ExpiryStamp.h"
#include "ShelfListModel.h"
#include "ShelfRowDelegate.h"
#include "ShelfSupport.h"
#include "ShelfWindow.h"
#include "TemporaryFolder.h"
#include "TestClock.h"

#include <QApplication>

#include <fstream>

#include <gtest/gtest.h>

using namespace kelo;

TEST(ShelfClock, SectionsRowsSubtitleAndExtensionsCountFromTheSameMoment) {
    const Calendar calendar = Calendar::current();
    const Instant now = calendar.adding(currentInstant(), DateComponent::Day, 40);
    const TestClock clock(now);
    const auto day = [&](int days) {
        return calendar.startOfDay(calendar.adding(now, DateComponent::Day, days));
    };
    TemporaryFolder folder;
    const auto file = folder.path() / "rapport.pdf";
    std::ofstream(file) << "x";
    ASSERT_FALSE(writeStamp(day(2), file, calendar));
    NoPresenter presenter;
    const auto shelf = shelfOver(folder.path(), presenter);
    ASSERT_EQ(shelf->items(Freshness::thisWeek).size(), 1u);

    ShelfListModel model(*shelf);
    const ShelfRowDelegate delegate(model);
    const auto texts = delegate.itemTexts(shelf->items().front(), QApplication::palette());
    EXPECT_EQ(texts.freshness, Freshness::thisWeek);
    EXPECT_EQ(texts.daysLeft.toStdString(), "nog 2 dagen");
    EXPECT_EQ(ShelfWindow(*shelf).subtitle().toStdString(), "Eerstvolgende: nog 2 dagen");

    shelf->perform(Shelf::extend(file, Term::week), shelf->items().front());
    EXPECT_EQ(shelf->items().front().date, day(7));
}
