// Trees that are hard on a crawl, each run through the real index: deeper than a thread's stack
// or a path can hold, wider than a folder listing in one go, changing under the crawl. Every one
// is crawled to the bottom with a bounded number of open folders, and none are left open
// afterwards.

#include "IndexTestSupport.h"
#include "Subprocess.h"

#include "ExpiryStamp.h"
#include "FileDescriptor.h"
#include "StampReader.h"

#include <atomic>
#include <functional>
#include <system_error>

#include <poll.h>
#include <sched.h>
#include <sys/inotify.h>
#include <sys/mount.h>

namespace {

constexpr const char *stampText = "2026-01-01";

// An open folder to build in: everything is made relative to it, since the paths of these
// trees outgrow PATH_MAX.
struct Folder {
    kelo::FileDescriptor fd;
    std::string path;

    // The folder `name` in `at`, made when missing, open.
    static Folder open(int at, const std::string &name, std::string path) {
        ::mkdirat(at, name.c_str(), 0700);
        const int fd = ::openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            throw std::system_error(errno, std::generic_category(), path);
        return {kelo::FileDescriptor(fd), std::move(path)};
    }
    static Folder open(const std::string &path) { return open(AT_FDCWD, path, path); }
    Folder folder(const std::string &name) const { return open(fd.get(), name, path + "/" + name); }

    // A file stamped as Kelo stamps it, tagged or with its tags taken away; its path.
    std::string stamped(const std::string &name, bool tagged = true) const {
        const kelo::FileDescriptor file(
            ::openat(fd.get(), name.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600));
        if (!file ||
            (tagged ? ::fsetxattr(file.get(), "user.xdg.tags", "Kelo", 4, 0)
                    : ::fremovexattr(file.get(), "user.xdg.tags")) != 0 ||
            ::fsetxattr(file.get(), kelo::stampAttributeName, stampText, 10, 0) != 0)
            throw std::system_error(errno, std::generic_category(), path + "/" + name);
        return path + "/" + name;
    }
    // Empty files without tags, `prefix` numbered: hard links to a few, since on some disks a new
    // name costs a fraction of a new file (and well below the links a file may have).
    void blanks(const std::string &prefix, int count) const {
        std::string blank;
        for (int i = 0; i < count; ++i) {
            const std::string name = prefix + std::to_string(i);
            if (i % 50000 == 0 ? ::mknodat(fd.get(), (blank = name).c_str(), S_IFREG | 0600, 0)
                               : ::linkat(fd.get(), blank.c_str(), fd.get(), name.c_str(), 0))
                throw std::system_error(errno, std::generic_category(), path + "/" + name);
        }
    }
};

// The descriptors this process has open.
int openDescriptors() {
    const auto listing = fs::directory_iterator("/proc/self/fd");
    return static_cast<int>(std::distance(begin(listing), end(listing))) - 1; // its own
}

// The tagged files in a tree whose paths stay short.
Set taggedBelow(const fs::path &top) {
    Set tagged;
    for (const auto &entry : fs::recursive_directory_iterator(top)) {
        char value[16];
        if (::lgetxattr(entry.path().c_str(), "user.xdg.tags", value, sizeof value) == 4 &&
            std::string_view(value, 4) == "Kelo")
            tagged.insert(entry.path());
    }
    return tagged;
}

struct Tree {
    // The first gathering finds every one.
    Set tagged;
    // A change once gathered, and the results it leads to.
    std::function<Set()> change = {};
};

// Two combs `levels` deep, so that both workers go all the way down (a walk only goes deep on
// one worker while the other has work of its own, or it hands its folders over level by level):
// at every level the spine goes on beside `twigs` branches with files. Stamped files at several
// depths and at the bottom, past PATH_MAX.
Tree combs(const Folder &root, int levels, int twigs) {
    Tree tree;
    std::vector<std::shared_ptr<Folder>> bottoms;
    for (const char *name : {"kam0", "kam1"}) {
        auto spine = std::make_shared<Folder>(root.folder(name));
        for (int level = 1; level < levels; ++level) {
            for (int branch = 0; branch < twigs; ++branch) {
                const Folder twig = spine->folder("tak" + std::to_string(branch));
                twig.blanks("b", 4);
                if (branch == 1 && level % 200 == 0)
                    tree.tagged.insert(twig.stamped("blad.txt"));
            }
            if (level % 250 == 0)
                tree.tagged.insert(spine->stamped("stam.txt"));
            *spine = spine->folder("stam");
        }
        EXPECT_GT(spine->path.size(), size_t(PATH_MAX));
        tree.tagged.insert(spine->stamped("onderaan.txt"));
        bottoms.push_back(std::move(spine));
    }
    // A file tagged and another untagged down there: rechecked through their long paths.
    tree.change = [bottoms, tagged = tree.tagged]() mutable {
        tagged.insert(bottoms[0]->stamped("later.txt"));
        tagged.erase(bottoms[0]->stamped("onderaan.txt", false));
        return tagged;
    };
    return tree;
}

// One folder of 200,000 entries, five of them stamped.
Tree crowd(const Folder &root) {
    const Folder crowded = root.folder("veel");
    crowded.blanks("f", 199995);
    Tree tree;
    for (int i = 0; i < 5; ++i)
        tree.tagged.insert(crowded.stamped("kelo" + std::to_string(i)));
    return tree;
}

struct HostileTree {
    std::string name;
    std::function<Tree(const Folder &root)> build;
};

void PrintTo(const HostileTree &tree, std::ostream *out) {
    *out << tree.name;
}

const HostileTree hostileTrees[] = {
    {"ChainsOf3000Folders", [](const Folder &root) { return combs(root, 3000, 0); }},
    {"CombsOf1000LevelsBusyOnEveryWorker", [](const Folder &root) { return combs(root, 1000, 3); }},
    {"FolderOf200000Entries", crowd},
};

class HostileTreeTest : public ::testing::TestWithParam<HostileTree> {
protected:
    TemporaryFolder folder;
    fs::path root = folder.path() / "thuis";

    void SetUp() override { fs::create_directories(root); }
    // Any depth: rm goes down folder by folder.
    void TearDown() override { runProcess({"/bin/rm", "-rf", root.string()}); }
};

} // namespace

TEST_P(HostileTreeTest, IsCrawledToTheBottomAndLeavesNoFolderOpen) {
    const Tree tree = GetParam().build(Folder::open(root));
    const int before = openDescriptors();
    {
        IndexHarness harness({root});
        // The index's own: its inotify instance and its wake-up.
        const int idle = openDescriptors();
        std::atomic<bool> stop{false};
        std::atomic<int> most{0};
        std::thread sampler([&] {
            for (; !stop; std::this_thread::sleep_for(std::chrono::milliseconds(1)))
                most = std::max(most.load(), openDescriptors());
        });
        harness.start();
        const bool gathered = harness.waitGathered();
        stop = true;
        sampler.join();
        ASSERT_TRUE(gathered);
        EXPECT_EQ(harness.resultsAtGathering(), tree.tagged);
        EXPECT_EQ(openDescriptors(), idle);
        // However many folders a worker keeps open, it is a few dozen: far below these depths.
        EXPECT_LT(most - idle,
                  100 * static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));

        // What the shelf reads of them, on threads, however long the paths.
        const auto calendar = kelo::Calendar::forZone("UTC");
        const auto stamp = kelo::parseStampValue(stampText, calendar);
        ASSERT_TRUE(stamp);
        std::vector<fs::path> paths;
        while (paths.size() < 64)
            paths.insert(paths.end(), tree.tagged.begin(), tree.tagged.end());
        const auto read = kelo::readStamps(paths, calendar);
        EXPECT_EQ(std::count(read.begin(), read.end(), stamp), std::ssize(paths));
        EXPECT_TRUE(!tree.change || harness.waitResults(tree.change()));
    }
    EXPECT_EQ(openDescriptors(), before);
}

INSTANTIATE_TEST_SUITE_P(Trees, HostileTreeTest, ::testing::ValuesIn(hostileTrees),
                         [](const auto &row) { return row.param.name; });

// Moves above a walk that is deeper than the folders its worker keeps open, made while it reads
// the bottom folder: on its way back the folders it had closed are found again where they are
// now, or passed over when they cannot be, and the index's watches put the rest right. With
// the top renamed too, the folders above the cut cannot be found by name either.
class HostileMoveTest : public HostileTreeTest {};

TEST_P(HostileMoveTest, TheWalkComesBackUpThroughMovedFolders) {
    const bool renameTop = GetParam().name == "CutAndTopRenamed";
    // root/keten/d (level 1) ... /d (level 100): at level 5 folders to read once the walk is
    // back from below, at the bottom many names to read while the moves are made.
    Set sideFiles;
    fs::path bottom = root / "keten";
    {
        Folder level = Folder::open(root).folder("keten");
        for (int depth = 1; depth <= 100; ++depth) {
            level = level.folder("d");
            bottom /= "d";
            for (int side = 0; depth == 5 && side < 10; ++side)
                sideFiles.insert(level.folder("z" + std::to_string(side)).stamped("z.txt"));
            if (depth == 50)
                level.stamped("midden.txt");
        }
        level.blanks("f", 20000);
        level.stamped("onderaan.txt");
    }
    const kelo::FileDescriptor opened(::inotify_init1(IN_CLOEXEC));
    ASSERT_GE(::inotify_add_watch(opened.get(), bottom.c_str(), IN_OPEN), 0);
    const int before = openDescriptors();
    {
        IndexHarness harness({root}, [](IndexHarness::Options &options) { options.workers = 1; });
        harness.start();
        // The crawl opens the bottom folder: cut the chain below level 5, and take the top away.
        pollfd event{opened.get(), POLLIN, 0};
        ASSERT_EQ(::poll(&event, 1, 5000), 1);
        fs::rename(root / "keten/d/d/d/d/d/d", root / "los");
        if (renameTop)
            fs::rename(root / "keten", root / "ketting");
        ASSERT_TRUE(harness.waitGathered());
        // Level 5 was found again by name: what was left to read there was read.
        const Set gathered = harness.resultsAtGathering();
        EXPECT_TRUE(renameTop || std::includes(gathered.begin(), gathered.end(), sideFiles.begin(),
                                               sideFiles.end()));
        const Set tree = taggedBelow(root);
        EXPECT_EQ(tree.size(), 12u);
        EXPECT_TRUE(harness.waitResults(tree));
    }
    EXPECT_EQ(openDescriptors(), before);
}

INSTANTIATE_TEST_SUITE_P(Moves, HostileMoveTest,
                         ::testing::Values(HostileTree{"CutBelowAFolderLeftToRead", {}},
                                           HostileTree{"CutAndTopRenamed", {}}),
                         [](const auto &row) { return row.param.name; });

using HostileTreeCancelTest = HostileTreeTest;

// Kelo quit in the middle of its first crawl of a deep tree.
TEST_F(HostileTreeCancelTest, AnIndexDestroyedMidCrawlLeavesNoFolderOpen) {
    combs(Folder::open(root), 1000, 3);
    const int before = openDescriptors();
    {
        kelo::TagIndex::Options options;
        options.scope = IndexHarness::scope({root});
        kelo::TagIndex index(std::move(options), nullptr, nullptr);
        index.start();
        // Deep in the tree: a worker holding as many folders open as it keeps.
        ASSERT_TRUE(IndexHarness::waitFor([&] { return openDescriptors() >= before + 2 + 60; }));
        EXPECT_TRUE(index.results()->empty()) << "the crawl ended before it was stopped";
    }
    EXPECT_EQ(openDescriptors(), before);
}

// A folder mounted inside itself after Kelo read the mount table: the walk stays on its own
// mount instead of going round the loop for ever.
TEST_F(HostileTreeCancelTest, ABindMountOfTheTreeIntoItselfIsNotEntered) {
    const Folder werk = Folder::open(root).folder("werk");
    const std::string stamped = werk.stamped("rapport.txt");
    werk.folder("lus");
    const int status = inChild([&] {
        // A mount namespace of the child's own: the mount goes when the child does.
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount(root.c_str(), (root / "werk/lus").c_str(), nullptr, MS_BIND, nullptr) != 0)
            return 77;
        IndexHarness harness({root});
        harness.start();
        return harness.waitGathered() && harness.results() == Set{stamped} ? 0 : 1;
    });
    if (status == 77)
        GTEST_SKIP() << "needs the right to mount in a namespace of its own";
    EXPECT_EQ(status, 0);
}
