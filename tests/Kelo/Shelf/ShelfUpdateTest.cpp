// The shelf rebuilt from the dates the index read: a date another program writes is on the shelf
// at the next update, whether the index watches the file (and vouches for its date) or not.
#include "ExpiryStamp.h"
#include "ShelfSupport.h"
#include "TemporaryFolder.h"

#include <QTest>

#include <algorithm>
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

// Updates that follow the index's changes one batch at a time end where a full rebuild does: the
// same files, dates and order, with twins of one name in two folders and a run kept by a reader.
TEST(ShelfUpdate, FollowingChangesEndsWhereAFullRebuildDoes) {
    const Calendar calendar = Calendar::current();
    const auto date = [&](const char *value) { return *parseStampValue(value, calendar); };
    TemporaryFolder folder;
    std::vector<std::filesystem::path> files;
    for (const char *name : {"a/rapport.txt", "b/rapport.txt", "a/notulen.txt", "b/begroting.ods",
                             "a/Zomer.jpg", "b/oud.txt"}) {
        files.push_back(folder.path() / name);
        std::filesystem::create_directories(files.back().parent_path());
        std::ofstream(files.back()) << name;
    }
    for (size_t i = 0; i + 1 < files.size(); ++i)
        ASSERT_FALSE(writeStamp(date(i % 2 ? "2031-03-01" : "2031-02-01"), files[i], calendar));
    NoPresenter presenter;
    const auto shelf = shelfOver(folder.path(), presenter);
    ASSERT_EQ(shelf->items().size(), files.size() - 1);
    const auto kept = shelf->run(Freshness::fresh);
    const std::vector<Shelf::Item> keptItems(kept.items().begin(), kept.items().end());

    struct Step {
        size_t file;
        const char *date; // none: the stamp is taken away
    };
    const Step steps[] = {{5, "2031-02-01"}, {1, "2031-02-01"}, {0, nullptr},
                          {4, "2030-12-24"}, {0, "2031-02-01"}, {2, nullptr}};
    for (const auto &step : steps) {
        const auto &file = files[step.file];
        ASSERT_FALSE(step.date ? writeStamp(date(step.date), file, calendar) : clearStamp(file));
        const auto shows = [&] {
            const auto &items = shelf->items();
            const auto at = std::find_if(items.begin(), items.end(), [&](const Shelf::Item &item) {
                return item.path == file;
            });
            return step.date ? at != items.end() && at->date == date(step.date) : at == items.end();
        };
        EXPECT_TRUE(QTest::qWaitFor(shows, 10000)) << file;
    }
    const auto followed = shelf->items();
    shelf->reload();
    EXPECT_EQ(followed, shelf->items());
    EXPECT_EQ(std::vector<Shelf::Item>(kept.items().begin(), kept.items().end()), keptItems)
        << "a run handed out changed under its reader";
}
