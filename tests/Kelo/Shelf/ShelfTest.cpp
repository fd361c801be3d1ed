#include "ExpiryStamp.h"
#include "ScopedEnvironment.h"
#include "ShelfSupport.h"
#include "TemporaryFolder.h"
#include "TestClock.h"
#include "UnchangeableFile.h"

#include <QTest>

#include <fstream>

#include <sys/xattr.h>

#include <gtest/gtest.h>

using namespace kelo;
using namespace std::chrono;
namespace fs = std::filesystem;
using Names = std::vector<std::string>;

namespace {

class ShelfTest : public ::testing::Test, public ErrorPresenter {
protected:
    ScopedEnvironment tz{"TZ", "Europe/Amsterdam"};
    TemporaryFolder folder;
    fs::path root = folder.path() / "thuis";
    ScopedEnvironment dataHome{"XDG_DATA_HOME", (folder.path() / "data").c_str()};
    std::vector<std::pair<Error, fs::path>> shown;
    std::unique_ptr<Shelf> shelf;
    Calendar calendar = Calendar::current();
    Instant today = calendar.startOfDay(currentInstant());
    TestClock clock{today + hours(12)};

    void present(const Error &error, const fs::path &file) override {
        shown.push_back({error, file});
    }
    Instant day(int fromToday) const {
        return calendar.startOfDay(calendar.adding(today, DateComponent::Day, fromToday));
    }
    fs::path stamped(const std::string &name, int daysFromToday) {
        fs::create_directories((root / name).parent_path());
        std::ofstream(root / name) << name;
        EXPECT_FALSE(writeStamp(day(daysFromToday), root / name, calendar));
        return root / name;
    }
    Names names() const {
        Names out;
        for (const auto &item : shelf->items())
            out.emplace_back(item.fileName());
        return out;
    }
};

} // namespace

TEST_F(ShelfTest, ListsStampedFilesInShelfOrderInSectionsThatFollowTheClock) {
    for (int days : {-1, 0, 1, 7, 8, 31, 32})
        stamped((days < 0 ? "oud/over-" : "over-") + std::to_string(days + 1) + ".txt", days);
    // Equal dates order by name key: case-sensitive, digits as text.
    for (const char *name : {"a.pdf", "B.pdf", "Rapport 9.pdf", "Rapport 10.pdf"})
        stamped(name, 3);
    // Tagged without a readable stamp: not on the shelf.
    ASSERT_EQ(::setxattr(stamped("kapot.txt", 1).c_str(), stampAttributeName, "2026-13-45", 10, 0),
              0);
    shelf = shelfOver(root, *this);
    EXPECT_EQ(names(), (Names{"over-0.txt", "over-1.txt", "over-2.txt", "B.pdf", "Rapport 10.pdf",
                              "Rapport 9.pdf", "a.pdf", "over-8.txt", "over-9.txt", "over-32.txt",
                              "over-33.txt"}));
    // Sizes of the sections today, and one minute after midnight with no reload in between.
    for (const auto &[now, sizes] :
         {std::pair{today, std::array<size_t, 4>{2, 6, 2, 1}},
          std::pair{day(1) + minutes(1), std::array<size_t, 4>{3, 6, 2, 0}}}) {
        clock.set(now);
        for (size_t i = 0; i < 4; ++i)
            EXPECT_EQ(shelf->run(static_cast<Freshness>(i)).size(), sizes[i]) << i;
    }
    EXPECT_EQ(shelf->items(Freshness::thisWeek).front().fileName(), "B.pdf");
}

// Restamped where the index watches: at once. Where it does not: at activation and at any
// update, which read such files themselves as the index cannot vouch for their dates.
TEST_F(ShelfTest, RestampedFromOutsideOrWhileUnwatchedShowsItsNewDate) {
    const auto file = stamped("rapport.pdf", 2);
    stamped("ander.pdf", 5);
    shelf = shelfOver(root, *this);
    ASSERT_FALSE(writeStamp(day(30), file, calendar)); // as the file manager would
    EXPECT_TRUE(QTest::qWaitFor([&] { return shelf->items().back().date == day(30); }, 5000));
    // Nothing watches this folder: coming to the front reads it.
    shelf = shelfOver(root, *this, true, false);
    ASSERT_FALSE(writeStamp(day(9), file, calendar));
    QTest::qWait(100);
    EXPECT_EQ(shelf->items().back().date, day(30));
    shelf->applicationStateChanged(Qt::ApplicationActive);
    EXPECT_EQ(shelf->items().back().date, day(9));
    ASSERT_FALSE(writeStamp(day(11), file, calendar));
    shelf->update();
    EXPECT_EQ(shelf->items().back().date, day(11));
}

TEST_F(ShelfTest, AReviewRequestedBeforeTheFirstLoadOpensOnceLoadedIfAnythingExpired) {
    for (const bool expired : {true, false}) {
        const auto file = stamped("bestand.txt", expired ? 0 : 10);
        shelf = shelfOver(root, *this, false);
        // At once, before the index has had a chance to gather: no empty shelf.
        shelf->applicationStateChanged(Qt::ApplicationActive);
        shelf->requestReview();
        ASSERT_TRUE(QSignalSpy(shelf.get(), &Shelf::loadedChanged).wait(5000));
        EXPECT_EQ(shelf->items().size(), 1u);
        EXPECT_EQ(shelf->reviewing(), expired);
        EXPECT_FALSE(shelf->reviewWhenLoaded());
        // Once everything expired is dealt with, a request closes the review.
        shelf->perform(Shelf::keepForever(file), shelf->items().front());
        shelf->requestReview();
        EXPECT_FALSE(shelf->reviewing());
    }
}

TEST_F(ShelfTest, ExtendCountsFromTodayKeepForeverTakesTheFileOffErrorsAreShown) {
    const auto expired = stamped("verlopen.txt", -5);
    const auto distant = stamped("ver.txt", 200);
    shelf = shelfOver(root, *this);
    shelf->perform(Shelf::extend(expired, Term::week), shelf->items().front());
    EXPECT_EQ(shelf->items().front().date, day(7));
    // A shorter term gives an earlier date: always counted from today.
    shelf->perform(Shelf::extend(distant, Term::month), shelf->items().back());
    EXPECT_EQ(shelf->items().back().date, calendar.adding(today, DateComponent::Month, 1));
    shelf->perform(Shelf::keepForever(expired), shelf->items().front());
    EXPECT_EQ(names(), Names{"ver.txt"});
    EXPECT_TRUE(!readStamp(expired) && readTagNames(expired).value().empty() && shown.empty());
    // An action on a file deleted meanwhile shows the error and drops the item.
    fs::remove(distant);
    shelf->perform(Shelf::extend(distant, Term::year), shelf->items().front());
    EXPECT_EQ(shown.at(0).first.code, ENOENT);
    EXPECT_EQ(shown.at(0).second, distant);
    EXPECT_TRUE(shelf->items().empty());
}

TEST_F(ShelfTest, TrashingThreeFilesWhereTheSecondCannotMove) {
    for (int i = 0; const char *name : {"een/eerste.txt", "vast/tweede.txt", "drie/derde.txt"})
        stamped(name, i++ - 3);
    shelf = shelfOver(root, *this);
    const UnchangeableFile locked(root / "vast");
    if (!locked.ok())
        GTEST_SKIP() << "cannot make a folder unchangeable here";
    shelf->trash(shelf->items(Freshness::expired));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].second, root / "vast/tweede.txt");
    EXPECT_TRUE(shown[0].first.code == EPERM || shown[0].first.code == EACCES);
    EXPECT_EQ(names(), Names{"tweede.txt"});
    // Moved, not deleted, and still stamped in the Trash.
    EXPECT_TRUE(readStamp(folder.path() / "data/Trash/files/eerste.txt"));
    EXPECT_TRUE(fs::exists(folder.path() / "data/Trash/files/derde.txt"));
}
