// The shelf rebuilt from the dates the index read, one batch of changes at a time.
#include "ExpiryStamp.h"
#include "ShelfSupport.h"
#include "TemporaryFolder.h"

#include <QTest>

#include <algorithm>
#include <fstream>

#include <gtest/gtest.h>

using namespace kelo;

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
