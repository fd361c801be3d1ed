#include "Shelf.h"
#include "ErrorPresenter.h"
#include "ExpiryStamp.h"
#include "ScopedEnvironment.h"
#include "TagQuery.h"
#include "TemporaryFolder.h"
#include "UnchangeableFile.h"

#include <QSignalSpy>
#include <QTest>

#include <fstream>

#include <sys/xattr.h>

#include <gtest/gtest.h>

using namespace kelo;
using namespace std::chrono;
namespace fs = std::filesystem;

namespace {

class RecordingPresenter : public ErrorPresenter {
public:
    void present(const Error &error, const fs::path &file) override {
        shown.push_back({error, file});
    }
    std::vector<std::pair<Error, fs::path>> shown;
};

class ShelfTest : public ::testing::Test {
protected:
    ScopedEnvironment tz{"TZ", "Europe/Amsterdam"};
    TemporaryFolder folder;
    fs::path root = folder.path() / "thuis";
    ScopedEnvironment dataHome{"XDG_DATA_HOME", (folder.path() / "nieuw-account/data").c_str()};
    RecordingPresenter presenter;
    std::unique_ptr<Shelf> shelf;
    Calendar calendar = Calendar::current();
    Instant today = calendar.startOfDay(currentInstant());

    void SetUp() override { fs::create_directories(root); }

    Instant day(int fromToday) const {
        return calendar.startOfDay(calendar.adding(today, DateComponent::Day, fromToday));
    }

    fs::path stamped(const std::string &name, int daysFromToday) {
        const auto path = root / name;
        fs::create_directories(path.parent_path());
        std::ofstream(path) << name;
        EXPECT_FALSE(writeStamp(day(daysFromToday), path, calendar));
        return path;
    }

    // Makes the shelf; `load` also waits for its first load.
    void make(bool watched = true) {
        TagIndex::Options options;
        options.scope.roots.push_back({root, watched});
        options.scope.prunedNames = {".Trash-" + std::to_string(::getuid()), ".Trash"};
        shelf = std::make_unique<Shelf>(std::make_unique<TagQuery>(std::move(options)), presenter);
        EXPECT_FALSE(shelf->loaded());
        EXPECT_TRUE(shelf->items().empty());
    }
    void load(bool watched = true) {
        make(watched);
        QSignalSpy loaded(shelf.get(), &Shelf::loadedChanged);
        ASSERT_TRUE(loaded.wait(5000));
    }

    std::vector<std::string> names(const std::vector<Shelf::Item> &items) const {
        std::vector<std::string> out;
        for (const auto &item : items)
            out.push_back(item.path.filename().string());
        return out;
    }

    // Waits until the shelf's items satisfy `predicate` (the index reports changes in batches).
    template <typename Predicate> bool waitUntil(Predicate predicate) {
        QSignalSpy changed(shelf.get(), &Shelf::itemsChanged);
        for (int tries = 0; tries < 50 && !predicate(); ++tries)
            changed.wait(100);
        return predicate();
    }
};

} // namespace

TEST_F(ShelfTest, FirstLoadListsStampedFilesInShelfOrderAndSectionsFollowTheClock) {
    for (int days : {-1, 0, 1, 7, 8, 31, 32})
        stamped((days < 0 ? "oud/over-" : "over-") + std::to_string(days + 1) + ".txt", days);
    // Equal dates order by name key: case-sensitive, digits as text.
    for (const char *name : {"a.pdf", "B.pdf", "Rapport 9.pdf", "Rapport 10.pdf"})
        stamped(name, 3);
    // Tagged without a readable stamp: not on the shelf.
    const auto tagOnly = root / "alleen-tag.txt";
    std::ofstream(tagOnly) << "x";
    ASSERT_EQ(::setxattr(tagOnly.c_str(), "user.xdg.tags", "Kelo", 4, 0), 0);
    const auto damaged = stamped("beschadigd.txt", 1);
    ASSERT_EQ(::setxattr(damaged.c_str(), stampAttributeName, "2026-13-45", 10, 0), 0);

    load();
    using Names = std::vector<std::string>;
    EXPECT_EQ(
        names(shelf->items()),
        (Names{"over-0.txt", "over-1.txt", "over-2.txt", "B.pdf", "Rapport 10.pdf", "Rapport 9.pdf",
               "a.pdf", "over-8.txt", "over-9.txt", "over-32.txt", "over-33.txt"}));
    EXPECT_EQ(shelf->items().front().date, day(-1));
    auto section = [&](Freshness freshness) { return names(shelf->items(freshness)); };
    EXPECT_EQ(section(Freshness::expired), (Names{"over-0.txt", "over-1.txt"}));
    EXPECT_EQ(section(Freshness::thisWeek), (Names{"over-2.txt", "B.pdf", "Rapport 10.pdf",
                                                   "Rapport 9.pdf", "a.pdf", "over-8.txt"}));
    EXPECT_EQ(section(Freshness::thisMonth), (Names{"over-9.txt", "over-32.txt"}));
    EXPECT_EQ(section(Freshness::fresh), (Names{"over-33.txt"}));

    // One minute after midnight: everything is a day closer, with no reload in between.
    shelf->setClock([&] { return day(1) + minutes(1); });
    EXPECT_EQ(section(Freshness::expired), (Names{"over-0.txt", "over-1.txt", "over-2.txt"}));
    EXPECT_EQ(section(Freshness::thisWeek), (Names{"B.pdf", "Rapport 10.pdf", "Rapport 9.pdf",
                                                   "a.pdf", "over-8.txt", "over-9.txt"}));
    EXPECT_EQ(section(Freshness::thisMonth), (Names{"over-32.txt", "over-33.txt"}));
    EXPECT_TRUE(section(Freshness::fresh).empty());
}

TEST_F(ShelfTest, RestampedFromOutsideShowsItsNewDateAfterTheNextUpdate) {
    const auto file = stamped("rapport.pdf", 2);
    stamped("ander.pdf", 5);
    load();
    ASSERT_EQ(names(shelf->items()), (std::vector<std::string>{"rapport.pdf", "ander.pdf"}));
    ASSERT_FALSE(writeStamp(day(30), file, calendar)); // as the file manager would
    ASSERT_TRUE(waitUntil([&] { return shelf->items().back().path == file; }));
    EXPECT_EQ(shelf->items().back().date, day(30));
}

TEST_F(ShelfTest, ComingToTheFrontReloadsEvenWithoutNews) {
    const auto file = stamped("rapport.pdf", 2);
    load(/*watched=*/false);
    ASSERT_FALSE(writeStamp(day(9), file, calendar));
    QTest::qWait(100);
    EXPECT_EQ(shelf->items().front().date, day(2)) << "nothing watches this folder";
    shelf->applicationStateChanged(Qt::ApplicationActive);
    EXPECT_EQ(shelf->items().front().date, day(9));
}

TEST_F(ShelfTest, AReviewRequestedBeforeTheFirstLoadOpensOnceLoaded) {
    stamped("verlopen.txt", 0);
    make();
    shelf->requestReview();
    EXPECT_TRUE(shelf->reviewWhenLoaded());
    EXPECT_FALSE(shelf->reviewing());
    QSignalSpy reviewing(shelf.get(), &Shelf::reviewingChanged);
    ASSERT_TRUE(reviewing.wait(5000));
    EXPECT_TRUE(shelf->reviewing());
    EXPECT_FALSE(shelf->reviewWhenLoaded());

    // Once everything expired is dealt with, a request closes the review.
    shelf->perform(Shelf::keepForever(root / "verlopen.txt"), shelf->items().front());
    shelf->requestReview();
    EXPECT_FALSE(shelf->reviewing());
}

TEST_F(ShelfTest, NothingExpiredMeansNoReviewAndAnEarlyActivationLoadsNoEmptyShelf) {
    stamped("vers.txt", 10);
    make();
    // At once, before the index has had a chance to gather.
    shelf->applicationStateChanged(Qt::ApplicationActive);
    EXPECT_FALSE(shelf->loaded());
    shelf->requestReview();
    QSignalSpy loaded(shelf.get(), &Shelf::loadedChanged);
    ASSERT_TRUE(loaded.wait(5000));
    EXPECT_EQ(shelf->items().size(), 1u);
    EXPECT_FALSE(shelf->reviewing());
    EXPECT_FALSE(shelf->reviewWhenLoaded());
}

TEST_F(ShelfTest, ExtendCountsFromTodayKeepForeverTakesTheFileOffErrorsAreShown) {
    const auto expired = stamped("verlopen.txt", -5);
    const auto distant = stamped("ver.txt", 200);
    load();
    shelf->perform(Shelf::extend(expired, Term::week), shelf->items().front());
    EXPECT_TRUE(shelf->items(Freshness::expired).empty());
    EXPECT_EQ(names(shelf->items(Freshness::thisWeek)), std::vector<std::string>{"verlopen.txt"});
    EXPECT_EQ(shelf->items().front().date, day(7));

    // A shorter term gives an earlier date: always counted from today.
    const auto distantItem = shelf->items().back();
    shelf->perform(Shelf::extend(distant, Term::month), distantItem);
    EXPECT_EQ(shelf->items().back().date,
              calendar.startOfDay(calendar.adding(today, DateComponent::Month, 1)));

    shelf->perform(Shelf::keepForever(expired), shelf->items().front());
    EXPECT_EQ(names(shelf->items()), std::vector<std::string>{"ver.txt"});
    EXPECT_TRUE(fs::exists(expired));
    EXPECT_FALSE(readStamp(expired));
    EXPECT_TRUE(readTagNames(expired).value().empty());
    EXPECT_TRUE(presenter.shown.empty());

    // An action on a file deleted meanwhile shows the error and drops the item.
    fs::remove(distant);
    shelf->perform(Shelf::extend(distant, Term::year), shelf->items().front());
    ASSERT_EQ(presenter.shown.size(), 1u);
    EXPECT_EQ(presenter.shown[0].first.code, ENOENT);
    EXPECT_EQ(presenter.shown[0].second, distant);
    EXPECT_TRUE(shelf->items().empty());
}

TEST_F(ShelfTest, TrashingThreeFilesWhereTheSecondCannotMove) {
    const auto first = stamped("een/eerste.txt", -3);
    const auto second = stamped("vast/tweede.txt", -2);
    const auto third = stamped("drie/derde.txt", -1);
    load();
    ASSERT_EQ(shelf->items().size(), 3u);
    const UnchangeableFile locked(root / "vast");
    if (!locked.ok())
        GTEST_SKIP() << "cannot make a folder unchangeable here";

    shelf->trash(shelf->items(Freshness::expired));
    ASSERT_EQ(presenter.shown.size(), 1u);
    EXPECT_EQ(presenter.shown[0].second, second);
    EXPECT_TRUE(presenter.shown[0].first.code == EPERM || presenter.shown[0].first.code == EACCES);
    EXPECT_EQ(names(shelf->items()), std::vector<std::string>{"tweede.txt"});
    EXPECT_FALSE(fs::exists(first));
    EXPECT_FALSE(fs::exists(third));
    // Moved, not deleted, and still stamped in the Trash.
    const auto trash = folder.path() / "nieuw-account/data/Trash/files";
    EXPECT_TRUE(readStamp(trash / "eerste.txt"));
    EXPECT_TRUE(fs::exists(trash / "derde.txt"));
}
