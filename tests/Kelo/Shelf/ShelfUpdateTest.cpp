// The shelf rebuilt from the dates the index read: a date another program writes is on the shelf
// at the next update, whether the index watches the file (and vouches for its date) or not.
#include "ExpiryStamp.h"
#include "ShelfSupport.h"
#include "TemporaryFolder.h"

#include <QTest>

#include <fstream>

#include <sys/xattr.h>

#include <gtest/gtest.h>

using namespace kelo;

TEST(ShelfUpdate, TakesTheIndexsDatesWhereItWatchesAndReadsTheRest) {
    const Calendar calendar = Calendar::current();
    for (const bool watched : {true, false}) {
        SCOPED_TRACE(watched ? "watched" : "rescanned");
        TemporaryFolder folder;
        const auto file = folder.path() / "rapport.txt";
        std::ofstream(file) << "x";
        ASSERT_FALSE(writeStamp(*parseStampValue("2031-12-05", calendar), file, calendar));
        NoPresenter presenter;
        const auto shelf = shelfOver(folder.path(), presenter, true, watched);
        ASSERT_EQ(shelf->items().size(), 1u);
        const auto vouched = [&] { return shelf->query().found().stamps->front(); };
        EXPECT_TRUE(QTest::qWaitFor([&] { return vouched() == (watched ? "2031-12-05" : ""); }));

        // Without a watch only the ten-minute rescan would tell the index: the shelf reads such
        // a file itself at each update.
        ASSERT_EQ(::setxattr(file.c_str(), stampAttributeName, "2032-01-09", 10, 0), 0);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                shelf->update();
                return shelf->items().front().date == *parseStampValue("2032-01-09", calendar);
            },
            watched ? 10000 : 100));
    }
}
