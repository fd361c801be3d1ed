#include "IndexTestSupport.h"

#include "ExpiryStamp.h"
#include "IndexCache.h"
#include "Subprocess.h"

#include <fstream>

#include <sched.h>

namespace {

class TagIndexTest : public ::testing::Test {
protected:
    TemporaryFolder folder;
    fs::path root = folder.path() / "thuis";
    fs::path outside = folder.path() / "elders";
    fs::path cache = folder.path() / "cache/kelo/tag-index";

    // A new file, its folders made; tagged unless `tags` is empty.
    static std::string file(const fs::path &path, std::string_view tags = "Kelo") {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << "x";
        if (!tags.empty())
            tag(path, tags);
        return path.string();
    }
};

// The index under faults: its cache stale and damaged, an event queue that overflows, the
// kernel's watch limit reached, folders it may not read.
using TagIndexFaultTest = TagIndexTest;

} // namespace

TEST_F(TagIndexTest, GatheringFindsTaggedFilesAndFoldersOnlyInEveryRootOnce) {
    const auto deep = file(root / "a/b/c/d/rapport.pdf");
    const auto folderTagged = root / "a/map";
    fs::create_directories(folderTagged);
    tag(folderTagged, "Werk,Kelo");
    const Set expected = {deep, folderTagged, file(root / "caf\xe9.txt"),
                          file(root / "midden.txt", "A,Kelo,B"), file(outside / "c.txt")};
    // Links are never followed: neither to a tagged file, nor around in a loop.
    fs::create_symlink(deep, root / "link-naar-rapport");
    fs::create_symlink(root, root / "a/lus");
    ASSERT_EQ(::mkfifo((root / "pijp").c_str(), 0600), 0);
    // Trash folders are out of scope.
    const auto trash = root / (".Trash-" + std::to_string(::getuid())) / "files";
    file(trash / "oud.txt");

    // Roots nested in others, and one that does not exist.
    IndexHarness harness({root, root / "a", outside, folder.path() / "bestaat-niet"});
    harness.start();
    ASSERT_TRUE(harness.waitGathered());
    EXPECT_EQ(harness.results(), expected);

    // A file moved to the Trash leaves the results.
    fs::rename(root / "midden.txt", trash / "midden.txt");
    EXPECT_TRUE(harness.waitResults({deep, folderTagged, root / "caf\xe9.txt", outside / "c.txt"}));
}

TEST_F(TagIndexTest, EveryKindOfChangeReachesTheResultsLive) {
    fs::create_directories(root);
    IndexHarness harness({root});
    harness.start();
    ASSERT_TRUE(harness.waitGathered());

    // A stamp written as the file manager writes it, in a folder made after the crawl. A tagged
    // file created elsewhere and moved in; both deleted.
    fs::create_directories(root / "nieuw/dieper");
    const auto late = file(root / "nieuw/dieper/b.txt", "");
    ASSERT_FALSE(kelo::writeStamp(kelo::currentInstant(), late));
    ASSERT_TRUE(harness.waitResults({late}));
    fs::rename(file(outside / "b.txt"), root / "b.txt");
    ASSERT_TRUE(harness.waitResults({late, root / "b.txt"}));
    fs::remove_all(root / "nieuw");
    fs::remove(root / "b.txt");

    // Folders moved in carry their files; renamed within the scope the paths follow, and later
    // changes below them still arrive.
    file(outside / "project/src/code.txt");
    fs::rename(outside / "project", root / "project");
    ASSERT_TRUE(harness.waitResults({root / "project/src/code.txt"}));
    fs::rename(root / "project", root / "werk");
    const auto code = root / "werk/src/code.txt";
    ASSERT_TRUE(harness.waitResults({code}));
    ASSERT_TRUE(harness.waitResults({code, file(root / "werk/src/nieuw.txt")}));
    // Moved out: gone, and what happens to it there no longer counts.
    fs::rename(root / "werk", outside / "werk");
    ASSERT_TRUE(harness.waitResults({}));
    file(outside / "werk/src/later.txt");
    // Nothing may arrive; give a batch time to come, then look.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(harness.results(), Set{});
}

TEST_F(TagIndexFaultTest, ACacheGathersAtOnceThenCorrectsItself) {
    const Set all = {file(root / "blijft.txt"), file(root / "niet-meer.txt"), file(root / "weg")};
    const auto withCache = [&](auto &options) { options.cacheFile = cache; };
    {
        IndexHarness first({root}, withCache);
        first.start();
        ASSERT_TRUE(first.waitGathered());
        EXPECT_EQ(first.resultsAtGathering(), all);
    }

    // While Kelo was not running: one stamp taken away, one file deleted, one new stamp.
    tag(root / "niet-meer.txt", "Werk");
    fs::remove(root / "weg");
    const auto added = file(root / "nieuw.txt");

    IndexHarness second({root}, withCache);
    second.start();
    ASSERT_TRUE(second.waitGathered());
    // What the rewritten cache said, checked path by path: the new file needs the crawl.
    EXPECT_EQ(second.resultsAtGathering(), Set{root / "blijft.txt"});
    EXPECT_TRUE(second.waitResults({root / "blijft.txt", added}));
}

// A cache as full as a cache may be takes seconds to check path by path; stopping Kelo must not
// wait for that.
TEST_F(TagIndexFaultTest, StoppingDoesNotWaitForTheCacheCheck) {
    ASSERT_TRUE(kelo::saveIndexCache(cache, IndexHarness::scope({root}).signature(),
                                     kelo::TagIndex::Paths(kelo::maximumIndexCacheEntries, "/")));
    auto harness = std::make_unique<IndexHarness>(
        std::vector{root}, [&](auto &options) { options.cacheFile = cache; });
    harness->start();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto stop = std::chrono::steady_clock::now();
    harness.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - stop, std::chrono::milliseconds(500));
}

// A cache that cannot be written (its folder is a file: root writes any folder) is tried again,
// less and less often, and written once the folder can be made.
TEST_F(TagIndexFaultTest, AFailedCacheSaveIsRetriedWithBackOff) {
    const auto kept = file(root / "blijft.txt");
    const fs::path blocked = folder.file("geblokkeerd"), cacheFile = blocked / "kelo/tag-index";
    IndexHarness harness({root}, [&](auto &options) {
        options.cacheFile = cacheFile;
        options.cacheDelay = std::chrono::milliseconds(40);
    });
    harness.start();
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    // 40, 80, 160, 320 ms: a handful of tries in a second, not a busy loop.
    EXPECT_GE(harness.logged("could not be written"), 2);
    EXPECT_LE(harness.logged("could not be written"), 6);
    fs::remove(blocked);
    fs::create_directories(blocked);
    EXPECT_TRUE(harness.waitFor([&] {
        return kelo::loadIndexCache(cacheFile, IndexHarness::scope({root}).signature()) ==
               kelo::TagIndex::Paths{kept};
    }));
}

TEST_F(TagIndexFaultTest, AnOverflowingEventQueueIsCaughtUpByARescan) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to shrink the kernel's event queue";
    // Only an inotify instance made while the setting holds gets the small queue.
    const fs::path queue = "/proc/sys/fs/inotify/max_queued_events";
    std::string old;
    std::getline(std::ifstream(queue), old);
    if (old.empty() || !(std::ofstream(queue) << "32\n"))
        GTEST_SKIP() << "cannot change max_queued_events";
    fs::create_directories(root);
    IndexHarness harness({root});
    std::ofstream(queue) << old << '\n';
    harness.holdAtGathering();
    harness.start();
    ASSERT_TRUE(harness.waitGathered());
    Set expected;
    for (int i = 0; i < 400; ++i)
        expected.insert(file(root / ("f" + std::to_string(i))));
    harness.release();
    EXPECT_TRUE(harness.waitResults(expected));
    EXPECT_GE(harness.index().statistics().overflows, 1u);
}

// Runs in a child process with a user namespace of its own, whose inotify watch limit can be
// lowered without touching anyone else's.
TEST_F(TagIndexFaultTest, TheWatchLimitLeavesFoldersToRescans) {
    for (int i = 0; i < 40; ++i)
        file(root / ("map" + std::to_string(i)) / "oud.txt");
    const int status = inChild([&] {
        const uid_t uid = ::getuid();
        if (::unshare(CLONE_NEWUSER) != 0)
            return 77;
        std::ofstream("/proc/self/setgroups") << "deny";
        std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
        if (!(std::ofstream("/proc/sys/user/max_inotify_watches") << "10\n" << std::flush))
            return 77;

        IndexHarness harness({root});
        harness.start();
        if (!harness.waitGathered() || harness.results().size() != 40)
            return 1;
        // A change where no watch is: found by the rescan that activation asks for.
        const auto late = file(root / "map39/nieuw.txt");
        harness.index().rescanUnwatched();
        return harness.waitFor([&] { return harness.results().contains(late); }) ? 0 : 4;
    });
    if (status == 77)
        GTEST_SKIP() << "no user namespaces here";
    EXPECT_EQ(status, 0);
}

// As someone who may not read every folder: what can be read is found, the rest passed over.
TEST_F(TagIndexFaultTest, UnreadableFoldersArePassedOver) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to become another user";
    const auto readable = file(root / "open/a.txt");
    file(root / "dicht/b.txt");
    runProcess({"/bin/chmod", "-R", "a+rX", folder.path().string()});
    fs::permissions(root / "dicht", fs::perms::none);
    const int status = inChild([&] {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            return 77;
        IndexHarness harness({root});
        harness.start();
        return !harness.waitGathered() ? 1 : harness.results() == Set{readable} ? 0 : 2;
    });
    fs::permissions(root / "dicht", fs::perms(0700));
    if (status == 77)
        GTEST_SKIP() << "cannot become another user";
    EXPECT_EQ(status, 0);
}
