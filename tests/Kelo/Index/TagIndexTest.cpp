#include "IndexTestSupport.h"

#include "ExpiryStamp.h"
#include "IndexCache.h"

#include <chrono>
#include <fstream>
#include <functional>
#include <thread>

#include <sched.h>
#include <sys/wait.h>

using Set = std::set<std::string>;
namespace fs = std::filesystem;

namespace {

class TagIndexTest : public ::testing::Test {
protected:
    TemporaryFolder folder;
    fs::path root = folder.path() / "thuis";
    fs::path outside = folder.path() / "elders";
    fs::path cache = folder.path() / "cache/kelo/tag-index";

    void SetUp() override {
        fs::create_directories(root);
        fs::create_directories(outside);
    }

    fs::path file(const fs::path &path) {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << "x";
        return path;
    }
};

// The index under faults: its cache stale and damaged, an event queue that overflows, the
// kernel's watch limit reached, folders it may not read.
using TagIndexFaultTest = TagIndexTest;

// Writes a value into a file under /proc/sys for the life of the object (root only).
class KernelSetting {
public:
    KernelSetting(fs::path file, const std::string &value) : m_file(std::move(file)) {
        std::ifstream in(m_file);
        std::getline(in, m_old);
        std::ofstream out(m_file);
        out << value << '\n';
        out.close();
        m_ok = !m_old.empty() && out.good();
    }
    ~KernelSetting() {
        if (!m_old.empty())
            std::ofstream(m_file) << m_old << '\n';
    }
    bool ok() const { return m_ok; }

private:
    fs::path m_file;
    std::string m_old;
    bool m_ok = false;
};

// Runs `scenario` in a child process and gives its exit status: 0 for success, 77 for "cannot
// be run here", anything else a failure.
int inChild(const std::function<int()> &scenario) {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(scenario());
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

} // namespace

TEST_F(TagIndexTest, GatheringFindsTaggedFilesAndFoldersOnlyInEveryRootOnce) {
    const auto deep = file(root / "a/b/c/d/rapport.pdf");
    const auto folderTagged = root / "a/map";
    fs::create_directories(folderTagged);
    const auto latin1 = file(root / "caf\xe9.txt");
    const auto amid = file(root / "midden.txt");
    const auto elsewhere = file(outside / "c.txt");
    tag(deep);
    tag(folderTagged, "Werk,Kelo");
    tag(latin1);
    tag(amid, "A,Kelo,B");
    tag(elsewhere);
    tag(file(root / "ander.txt"), "kelo,Kelo2,Werk");
    file(root / "zonder.txt");
    // Links are never followed: neither to a tagged file, nor around in a loop.
    fs::create_symlink(deep, root / "link-naar-rapport");
    fs::create_symlink(root, root / "a/lus");
    ASSERT_EQ(::mkfifo((root / "pijp").c_str(), 0600), 0);
    // Trash folders are out of scope.
    const auto trash = root / (".Trash-" + std::to_string(::getuid())) / "files";
    tag(file(trash / "oud.txt"));
    tag(file(root / ".Trash/files/ook-oud.txt"));

    // Roots nested in others, and one that does not exist.
    IndexHarness harness({root, root / "a", outside, folder.path() / "bestaat-niet"});
    harness.start();
    ASSERT_TRUE(harness.waitGathered());
    const Set expected = {deep.string(), folderTagged.string(), latin1.string(), amid.string(),
                          elsewhere.string()};
    EXPECT_EQ(harness.results(), expected);
    EXPECT_EQ(harness.index().results()->size(), expected.size());
    EXPECT_EQ(harness.updates(), 0);

    // A file moved to the Trash leaves the results.
    fs::rename(amid, trash / "midden.txt");
    EXPECT_TRUE(harness.waitResults(
        {deep.string(), folderTagged.string(), latin1.string(), elsewhere.string()}));
}

TEST_F(TagIndexTest, EveryKindOfChangeReachesTheResultsLive) {
    const auto first = file(root / "map/eerste.txt");
    IndexHarness harness({root});
    harness.start();
    ASSERT_TRUE(harness.waitGathered());
    ASSERT_EQ(harness.results(), Set{});

    // A stamp written, as the file manager writes it.
    ASSERT_FALSE(kelo::writeStamp(kelo::currentInstant(), first));
    ASSERT_TRUE(harness.waitResults({first.string()}));
    // Renamed, then moved into a new folder made after the crawl.
    const auto renamed = root / "map/hernoemd.txt";
    fs::rename(first, renamed);
    ASSERT_TRUE(harness.waitResults({renamed.string()}));
    fs::create_directories(root / "nieuw/dieper");
    const auto moved = root / "nieuw/dieper/hernoemd.txt";
    fs::rename(renamed, moved);
    ASSERT_TRUE(harness.waitResults({moved.string()}));
    // The stamp taken away.
    ASSERT_FALSE(kelo::clearStamp(moved));
    ASSERT_TRUE(harness.waitResults({}));
    // A tagged file created elsewhere and moved in; then deleted.
    const auto arriving = file(outside / "binnen.txt");
    tag(arriving);
    fs::rename(arriving, root / "binnen.txt");
    ASSERT_TRUE(harness.waitResults({(root / "binnen.txt").string()}));
    fs::remove(root / "binnen.txt");
    ASSERT_TRUE(harness.waitResults({}));

    // Folders moved in carry their files; renamed within the scope the paths follow, and later
    // changes below them still arrive.
    tag(file(outside / "project/src/code.txt"));
    tag(file(outside / "project/leesmij.txt"));
    fs::rename(outside / "project", root / "project");
    ASSERT_TRUE(harness.waitResults(
        {(root / "project/src/code.txt").string(), (root / "project/leesmij.txt").string()}));
    fs::rename(root / "project", root / "werk");
    ASSERT_TRUE(harness.waitResults(
        {(root / "werk/src/code.txt").string(), (root / "werk/leesmij.txt").string()}));
    tag(file(root / "werk/src/nieuw.txt"));
    ASSERT_TRUE(harness.waitResults({(root / "werk/src/code.txt").string(),
                                     (root / "werk/leesmij.txt").string(),
                                     (root / "werk/src/nieuw.txt").string()}));
    // Moved out: gone, and what happens to it there no longer counts.
    fs::rename(root / "werk", outside / "werk");
    ASSERT_TRUE(harness.waitResults({}));
    tag(file(outside / "werk/src/later.txt"));
    ASSERT_FALSE(kelo::writeStamp(kelo::currentInstant(), outside / "werk/leesmij.txt"));
    // Nothing may arrive; give a batch time to come, then look.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(harness.results(), Set{});
}

TEST_F(TagIndexTest, ABurstOfStampsGivesAFewUpdates) {
    std::vector<fs::path> files;
    Set expected;
    for (int i = 0; i < 1000; ++i) {
        files.push_back(file(root / ("map" + std::to_string(i % 10)) / ("f" + std::to_string(i))));
        expected.insert(files.back().string());
    }
    IndexHarness harness({root});
    harness.start();
    ASSERT_TRUE(harness.waitGathered());
    for (const auto &path : files)
        ASSERT_FALSE(kelo::writeStamp(kelo::currentInstant(), path));
    ASSERT_TRUE(harness.waitResults(expected));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_GE(harness.updates(), 1);
    EXPECT_LE(harness.updates(), 10);
}

TEST_F(TagIndexTest, PathsLongerThanPathMaxAreFoundAndWatched) {
    // 90 levels of 60-character names: about 5,500 bytes, more than PATH_MAX.
    const std::string name(60, 'x');
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
    std::string path = root.string();
    for (int level = 0; level < 90; ++level) {
        ASSERT_EQ(::mkdirat(fd, name.c_str(), 0700), 0);
        const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
        path += "/" + name;
    }
    ASSERT_GT(path.size(), size_t(PATH_MAX));
    const int file = ::openat(fd, "diep.txt", O_CREAT | O_WRONLY, 0600);
    ASSERT_EQ(::fsetxattr(file, "user.xdg.tags", "Kelo", 4, 0), 0);
    ::close(file);

    IndexHarness harness({root});
    harness.start();
    ASSERT_TRUE(harness.waitGathered());
    EXPECT_EQ(harness.results(), Set{path + "/diep.txt"});

    const int second = ::openat(fd, "later.txt", O_CREAT | O_WRONLY, 0600);
    ASSERT_EQ(::fsetxattr(second, "user.xdg.tags", "Kelo", 4, 0), 0);
    ::close(second);
    EXPECT_TRUE(harness.waitResults({path + "/diep.txt", path + "/later.txt"}));
    ::close(fd);
    fs::remove_all(root); // std::filesystem walks relative to open folders too
}

TEST_F(TagIndexFaultTest, ADamagedCacheIsRebuiltAndAGoodOneGathersAtOnceThenCorrectsItself) {
    const auto kept = file(root / "blijft.txt");
    const auto untagged = file(root / "niet-meer.txt");
    const auto deleted = file(root / "weg.txt");
    for (const auto &path : {kept, untagged, deleted})
        tag(path);
    fs::create_directories(cache.parent_path());
    std::ofstream(cache) << "kelo-tag-index 1\nrommel";
    {
        IndexHarness first({root}, cache);
        first.start();
        ASSERT_TRUE(first.waitGathered());
        EXPECT_EQ(first.resultsAtGathering(),
                  (Set{kept.string(), untagged.string(), deleted.string()}));
    }

    // While Kelo was not running: one stamp taken away, one file deleted, one new stamp.
    tag(untagged, "Werk");
    fs::remove(deleted);
    const auto added = file(root / "nieuw.txt");
    tag(added);

    IndexHarness second({root}, cache);
    second.start();
    ASSERT_TRUE(second.waitGathered());
    // What the rewritten cache said, checked path by path: the new file needs the crawl.
    EXPECT_EQ(second.resultsAtGathering(), Set{kept.string()});
    EXPECT_TRUE(second.waitResults({kept.string(), added.string()}));
    EXPECT_TRUE(second.waitUpdates(1));
}

// A cache as full as a cache may be takes seconds to check path by path; stopping Kelo must not
// wait for that.
TEST_F(TagIndexFaultTest, StoppingDoesNotWaitForTheCacheCheck) {
    kelo::TagIndex::Options options;
    options.scope = IndexHarness::scope({root});
    options.cacheFile = cache;
    ASSERT_TRUE(kelo::saveIndexCache(cache, options.scope.signature(),
                                     kelo::TagIndex::Paths(kelo::maximumIndexCacheEntries, "/")));
    auto index = std::make_unique<kelo::TagIndex>(std::move(options), nullptr, nullptr);
    index->start();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto stop = std::chrono::steady_clock::now();
    index.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - stop, std::chrono::milliseconds(500));
}

TEST_F(TagIndexFaultTest, AnOverflowingEventQueueIsCaughtUpByARescan) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to shrink the kernel's event queue";
    std::unique_ptr<IndexHarness> harness;
    {
        // Only an inotify instance made while this holds gets the small queue.
        const KernelSetting smallQueue("/proc/sys/fs/inotify/max_queued_events", "32");
        if (!smallQueue.ok())
            GTEST_SKIP() << "cannot change max_queued_events";
        harness = std::make_unique<IndexHarness>(std::vector<fs::path>{root});
    }
    harness->holdAtGathering();
    harness->start();
    ASSERT_TRUE(harness->waitGathered());
    Set expected;
    for (int i = 0; i < 400; ++i) {
        const auto path = file(root / ("f" + std::to_string(i)));
        tag(path);
        expected.insert(path.string());
    }
    harness->release();
    EXPECT_TRUE(harness->waitResults(expected));
    EXPECT_GE(harness->index().statistics().overflows, 1u);
}

// Runs in a child process with a user namespace of its own, whose inotify watch limit can be
// lowered without touching anyone else's.
TEST_F(TagIndexFaultTest, TheWatchLimitLeavesFoldersToRescansAndIsLoggedOnce) {
    for (int i = 0; i < 40; ++i)
        tag(file(root / ("map" + std::to_string(i)) / "oud.txt"));
    const int status = inChild([&] {
        const uid_t uid = ::getuid();
        if (::unshare(CLONE_NEWUSER) != 0)
            return 77;
        std::ofstream("/proc/self/setgroups") << "deny";
        std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
        std::ofstream limit("/proc/sys/user/max_inotify_watches");
        limit << "10\n";
        limit.close();
        if (!limit.good())
            return 77;

        IndexHarness harness({root});
        harness.start();
        if (!harness.waitGathered() || harness.results().size() != 40)
            return 1;
        const auto statistics = harness.index().statistics();
        if (statistics.watchedFolders > 10 || statistics.unwatchedFolders == 0)
            return 2;
        // A change where no watch is: found by the rescan that activation asks for.
        const auto late = root / "map39/nieuw.txt";
        std::ofstream(late) << "x";
        if (::setxattr(late.c_str(), "user.xdg.tags", "Kelo", 4, 0) != 0)
            return 3;
        harness.index().rescanUnwatched();
        if (!harness.waitFor([&] { return harness.results().contains(late.string()); }))
            return 4;
        const auto log = harness.log();
        return std::count_if(log.begin(), log.end(),
                             [](const std::string &line) {
                                 return line.find("watch limit") != std::string::npos;
                             }) == 1
                   ? 0
                   : 5;
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
    tag(readable);
    tag(file(root / "dicht/b.txt"));
    for (const auto &path : {folder.path(), root, root / "open"})
        fs::permissions(path, fs::perms(0755));
    fs::permissions(readable, fs::perms(0644));
    fs::permissions(root / "dicht", fs::perms::none);
    const int status = inChild([&] {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            return 77;
        IndexHarness harness({root});
        harness.start();
        return !harness.waitGathered() ? 1 : harness.results() == Set{readable.string()} ? 0 : 2;
    });
    fs::permissions(root / "dicht", fs::perms(0700));
    if (status == 77)
        GTEST_SKIP() << "cannot become another user";
    EXPECT_EQ(status, 0);
}
