// The index under faults: its cache fresh, stale and damaged, an event queue that overflows,
// and the kernel's watch limit reached.

#include "IndexTestSupport.h"

#include "IndexCache.h"

#include <fstream>

#include <sched.h>
#include <sys/wait.h>

using Set = std::set<std::string>;
namespace fs = std::filesystem;

namespace {

class TagIndexFaultTest : public ::testing::Test {
protected:
    TemporaryFolder folder;
    fs::path root = folder.path() / "thuis";
    fs::path cache = folder.path() / "cache/kelo/tag-index";

    void SetUp() override { fs::create_directories(root); }

    fs::path file(const fs::path &path) {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << "x";
        return path;
    }
};

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

} // namespace

TEST_F(TagIndexFaultTest, AStartFromTheCacheGathersAtOnceAndThenCorrectsItself) {
    const auto kept = file(root / "blijft.txt");
    const auto untagged = file(root / "niet-meer.txt");
    const auto deleted = file(root / "weg.txt");
    for (const auto &path : {kept, untagged, deleted})
        tag(path);
    {
        IndexHarness first({root}, cache);
        first.start();
        ASSERT_TRUE(first.waitGathered());
    }
    ASSERT_TRUE(fs::exists(cache));

    // While Kelo was not running: one stamp taken away, one file deleted, one new stamp.
    tag(untagged, "Werk");
    fs::remove(deleted);
    const auto added = file(root / "nieuw.txt");
    tag(added);

    IndexHarness second({root}, cache);
    second.start();
    ASSERT_TRUE(second.waitGathered());
    // What the cache said, checked path by path: the new file needs the crawl.
    EXPECT_EQ(second.resultsAtGathering(), Set{kept.string()});
    EXPECT_TRUE(second.waitResults({kept.string(), added.string()}));
    EXPECT_TRUE(second.waitUpdates(1));
}

TEST_F(TagIndexFaultTest, ADamagedCacheIsRebuiltByACrawl) {
    const auto stamped = file(root / "a.txt");
    tag(stamped);
    fs::create_directories(cache.parent_path());
    std::ofstream(cache) << "kelo-tag-index 1\nrommel";
    IndexHarness harness({root}, cache);
    harness.start();
    ASSERT_TRUE(harness.waitGathered());
    EXPECT_EQ(harness.resultsAtGathering(), Set{stamped.string()});
    // Rewritten, and good for the next start.
    kelo::TagIndex::Options options;
    options.scope.roots.push_back({root, true});
    options.scope.prunedNames = {".Trash-" + std::to_string(::getuid()), ".Trash"};
    const auto loaded = kelo::loadIndexCache(cache, options.scope.signature());
    ASSERT_TRUE(loaded);
    EXPECT_EQ(*loaded, std::vector<fs::path>{stamped});
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

// Runs the scenario in a child process with a user namespace of its own, whose inotify watch
// limit can be lowered without touching anyone else's.
TEST_F(TagIndexFaultTest, TheWatchLimitLeavesFoldersToRescansAndIsLoggedOnce) {
    for (int i = 0; i < 40; ++i)
        tag(file(root / ("map" + std::to_string(i)) / "oud.txt"));

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const uid_t uid = ::getuid();
        if (::unshare(CLONE_NEWUSER) != 0)
            ::_exit(77);
        std::ofstream("/proc/self/setgroups") << "deny";
        std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
        std::ofstream limit("/proc/sys/user/max_inotify_watches");
        limit << "10\n";
        limit.close();
        if (!limit.good())
            ::_exit(77);

        IndexHarness harness({root});
        harness.start();
        if (!harness.waitGathered() || harness.results().size() != 40)
            ::_exit(1);
        const auto statistics = harness.index().statistics();
        if (statistics.watchedFolders > 10 || statistics.unwatchedFolders == 0)
            ::_exit(2);
        // A change where no watch is: found by the rescan that activation asks for.
        const auto late = root / "map39/nieuw.txt";
        std::ofstream(late) << "x";
        if (::setxattr(late.c_str(), "user.xdg.tags", "Kelo", 4, 0) != 0)
            ::_exit(3);
        harness.index().rescanUnwatched();
        if (!harness.waitFor([&] { return harness.results().contains(late.string()); }))
            ::_exit(4);
        const auto log = harness.log();
        const auto lines = std::count_if(log.begin(), log.end(), [](const std::string &line) {
            return line.find("watch limit") != std::string::npos;
        });
        ::_exit(lines == 1 ? 0 : 5);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "no user namespaces here";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// As someone who may not read every folder: what can be read is found, the rest passed over.
TEST_F(TagIndexFaultTest, UnreadableFoldersArePassedOver) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to become another user";
    const auto readable = file(root / "open/a.txt");
    const auto hidden = file(root / "dicht/b.txt");
    tag(readable);
    tag(hidden);
    for (const auto &path : {folder.path(), root, root / "open"})
        fs::permissions(path, fs::perms(0755));
    fs::permissions(readable, fs::perms(0644));
    fs::permissions(root / "dicht", fs::perms::none);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(77);
        IndexHarness harness({root});
        harness.start();
        if (!harness.waitGathered())
            ::_exit(1);
        ::_exit(harness.results() == Set{readable.string()} ? 0 : 2);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    fs::permissions(root / "dicht", fs::perms(0700));
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "cannot become another user";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
