#include "IndexTestSupport.h"

#include "ExpiryStamp.h"

#include <fstream>

using Set = std::set<std::string>;
namespace fs = std::filesystem;

namespace {

class TagIndexTest : public ::testing::Test {
protected:
    TemporaryFolder folder;
    fs::path root = folder.path() / "thuis";
    fs::path outside = folder.path() / "elders";

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

} // namespace

TEST_F(TagIndexTest, GatheringFindsTaggedFilesAndFoldersOnly) {
    const auto deep = file(root / "a/b/c/d/rapport.pdf");
    const auto folderTagged = root / "a/map";
    fs::create_directories(folderTagged);
    const auto latin1 = file(root / "caf\xe9.txt");
    const auto amid = file(root / "midden.txt");
    tag(deep);
    tag(folderTagged, "Werk,Kelo");
    tag(latin1);
    tag(amid, "A,Kelo,B");
    tag(file(root / "ander.txt"), "kelo,Kelo2,Werk");
    file(root / "zonder.txt");
    // Links are never followed: neither to a tagged file, nor around in a loop.
    fs::create_symlink(deep, root / "link-naar-rapport");
    fs::create_symlink(root, root / "a/lus");
    ASSERT_EQ(::mkfifo((root / "pijp").c_str(), 0600), 0);

    IndexHarness harness({root});
    harness.start();
    ASSERT_TRUE(harness.waitGathered());
    EXPECT_EQ(harness.results(),
              (Set{deep.string(), folderTagged.string(), latin1.string(), amid.string()}));
    EXPECT_EQ(harness.updates(), 0);
}

TEST_F(TagIndexTest, TrashFoldersAreOutOfScope) {
    const auto trashed = file(root / (".Trash-" + std::to_string(::getuid())) / "files/oud.txt");
    const auto shared = file(root / ".Trash/files/ook-oud.txt");
    const auto kept = file(root / "bewaard.txt");
    tag(trashed);
    tag(shared);
    tag(kept);
    IndexHarness harness({root});
    harness.start();
    ASSERT_TRUE(harness.waitGathered());
    EXPECT_EQ(harness.results(), Set{kept.string()});

    // A file moved to the Trash leaves the results.
    fs::rename(kept, root / (".Trash-" + std::to_string(::getuid())) / "files/bewaard.txt");
    EXPECT_TRUE(harness.waitResults({}));
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
}

TEST_F(TagIndexTest, FoldersMovedInOutAndAroundCarryTheirFiles) {
    const auto inside = file(outside / "project/src/code.txt");
    tag(inside);
    tag(file(outside / "project/leesmij.txt"));
    IndexHarness harness({root});
    harness.start();
    ASSERT_TRUE(harness.waitGathered());

    fs::rename(outside / "project", root / "project");
    ASSERT_TRUE(harness.waitResults(
        {(root / "project/src/code.txt").string(), (root / "project/leesmij.txt").string()}));
    // Renamed within the scope: the paths follow, and later changes below it still arrive.
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

TEST_F(TagIndexTest, SeveralRootsEachCountOnce) {
    const auto nested = root / "binnen";
    const auto a = file(root / "a.txt");
    const auto b = file(nested / "b.txt");
    const auto c = file(outside / "c.txt");
    tag(a);
    tag(b);
    tag(c);
    IndexHarness harness({root, nested, outside, folder.path() / "bestaat-niet"});
    harness.start();
    ASSERT_TRUE(harness.waitGathered());
    EXPECT_EQ(harness.results(), (Set{a.string(), b.string(), c.string()}));
    ASSERT_EQ(harness.index().results()->size(), 3u);
}
