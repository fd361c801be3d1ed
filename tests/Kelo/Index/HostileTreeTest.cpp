// Trees that are hard on a crawl, each run through the real index: deeper than a thread's stack
// or a path can hold, wider than a folder listing in one go, changing under the crawl, holding
// files that must never be opened. Every one is crawled to the bottom with a bounded number of
// open folders, and none are left open afterwards.

#include "IndexTestSupport.h"

#include "ExpiryStamp.h"
#include "StampReader.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#include <dirent.h>
#include <poll.h>
#include <sched.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>

using Set = std::set<std::string>;
namespace fs = std::filesystem;

namespace {

constexpr const char *stampText = "2026-01-01";

[[noreturn]] void fail(const std::string &what) {
    throw std::system_error(errno, std::generic_category(), what);
}

// An open folder to build in: everything is made relative to it, since the paths of these
// trees outgrow PATH_MAX.
class Folder {
public:
    Folder(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {
        if (m_fd < 0)
            fail(m_path);
    }
    Folder(Folder &&other) noexcept
        : m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path)) {}
    Folder &operator=(Folder &&other) noexcept {
        if (this != &other) {
            if (m_fd >= 0)
                ::close(m_fd);
            m_fd = std::exchange(other.m_fd, -1);
            m_path = std::move(other.m_path);
        }
        return *this;
    }
    ~Folder() {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    static Folder open(const fs::path &path) {
        return {::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), path.string()};
    }

    int fd() const { return m_fd; }
    const std::string &path() const { return m_path; }

    // A new subfolder, open.
    Folder folder(const std::string &name) const {
        if (::mkdirat(m_fd, name.c_str(), 0700) != 0)
            fail(m_path + "/" + name);
        return {::openat(m_fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC),
                m_path + "/" + name};
    }
    // A file tagged and stamped as Kelo stamps it; its path.
    std::string stamped(const std::string &name) const {
        const int file = ::openat(m_fd, name.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
        const bool done = file >= 0 && ::fsetxattr(file, "user.xdg.tags", "Kelo", 4, 0) == 0 &&
                          ::fsetxattr(file, kelo::stampAttributeName, stampText, 10, 0) == 0;
        if (file >= 0)
            ::close(file);
        if (!done)
            fail(m_path + "/" + name);
        return m_path + "/" + name;
    }
    void untag(const std::string &name) const {
        const int file = ::openat(m_fd, name.c_str(), O_RDONLY | O_CLOEXEC);
        const bool done = file >= 0 && ::fremovexattr(file, "user.xdg.tags") == 0;
        if (file >= 0)
            ::close(file);
        if (!done)
            fail(m_path + "/" + name);
    }

private:
    int m_fd;
    std::string m_path;
};

// Empty files without tags by the thousand: hard links to a few of them, since on some disks a
// new name costs a fraction of a new file.
class Blanks {
public:
    explicit Blanks(const Folder &home) : m_home(home) {}

    void make(const Folder &at, const char *name) {
        // Well below the links a file may have on any disk.
        if (m_links++ % 50000 == 0) {
            m_blank = ".leeg" + std::to_string(m_links / 50000);
            if (::mknodat(m_home.fd(), m_blank.c_str(), S_IFREG | 0600, 0) != 0)
                fail(m_home.path() + "/" + m_blank);
        }
        if (::linkat(m_home.fd(), m_blank.c_str(), at.fd(), name, 0) != 0)
            fail(at.path() + "/" + name);
    }

private:
    const Folder &m_home;
    std::string m_blank;
    size_t m_links = 0;
};

// The descriptors this process has open.
int openDescriptors() {
    DIR *listing = ::opendir("/proc/self/fd");
    if (!listing)
        fail("/proc/self/fd");
    int count = 0;
    while (const dirent *entry = ::readdir(listing))
        if (entry->d_name[0] != '.')
            ++count;
    ::closedir(listing);
    return count - 1; // the listing's own
}

// The most descriptors open at once while it runs, sampled every millisecond.
class DescriptorPeak {
public:
    DescriptorPeak()
        : m_thread([this] {
              while (!m_stop) {
                  m_peak = std::max(m_peak.load(), openDescriptors());
                  std::this_thread::sleep_for(std::chrono::milliseconds(1));
              }
          }) {}
    ~DescriptorPeak() { stop(); }
    int stop() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        return m_peak;
    }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_peak{0};
    std::thread m_thread;
};

// Removes a tree of any depth holding one folder open at a time, coming back up through "..".
void removeTree(const fs::path &top) {
    constexpr int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int current = ::open(top.c_str(), flags);
    std::vector<std::string> names;
    while (current >= 0) {
        std::string subfolder;
        if (DIR *listing = ::fdopendir(::openat(current, ".", flags))) {
            while (const dirent *entry = ::readdir(listing)) {
                const std::string_view name = entry->d_name;
                if (name == "." || name == "..")
                    continue;
                struct stat status {};
                if (entry->d_type == DT_DIR ||
                    (entry->d_type == DT_UNKNOWN &&
                     ::fstatat(current, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
                     S_ISDIR(status.st_mode))) {
                    subfolder = name;
                    break;
                }
                ::unlinkat(current, entry->d_name, 0);
            }
            ::closedir(listing);
        }
        if (!subfolder.empty()) {
            const int next = ::openat(current, subfolder.c_str(), flags);
            ::close(current);
            current = next;
            names.push_back(std::move(subfolder));
            continue;
        }
        if (names.empty())
            break;
        const int parent = ::openat(current, "..", flags);
        ::close(current);
        current = parent;
        if (parent >= 0 && ::unlinkat(parent, names.back().c_str(), AT_REMOVEDIR) != 0) {
            ::close(parent);
            return; // something that cannot go; the temporary folder gives up on it too
        }
        names.pop_back();
    }
    if (current >= 0)
        ::close(current);
    ::rmdir(top.c_str());
}

// The tagged files in a tree whose paths stay short.
Set taggedBelow(const fs::path &top) {
    Set tagged;
    for (const auto &entry : fs::recursive_directory_iterator(top)) {
        char value[16];
        const ssize_t size =
            ::lgetxattr(entry.path().c_str(), "user.xdg.tags", value, sizeof value);
        if (size == 4 && std::string_view(value, 4) == "Kelo")
            tagged.insert(entry.path().string());
    }
    return tagged;
}

// Paths as failure messages show them: these run to thousands of bytes.
std::string shown(const Set &paths) {
    std::string text = std::to_string(paths.size()) + " paths";
    for (const auto &path : paths)
        text += "\n  " + (path.size() <= 120
                              ? path
                              : path.substr(0, 40) + "...(" + std::to_string(path.size()) +
                                    " bytes)..." + path.substr(path.size() - 60));
    return text;
}

struct Tree {
    // Tagged files that stay where they are: the first gathering finds every one.
    Set tagged;
    // Renames and deletes folders beside the crawl until `stop`; gives the tagged files there
    // are once it has stopped.
    std::function<Set(const std::atomic<bool> &stop)> shake;
    // A change once gathered, and the results it leads to.
    std::function<Set()> change;
    // What the crawl must not open: a FIFO would block it.
    std::vector<std::string> neverOpened;
};

// Two chains of 3,000 folders, about 6,000 bytes of path each, with a stamped file at the bottom.
// Two, so that both workers go all the way down: a walk only goes deep on one worker while the
// other has work of its own, or it hands its folders over level by level.
Tree chains(const Folder &root) {
    Tree tree;
    std::vector<std::shared_ptr<Folder>> bottoms;
    for (const char *name : {"keten0", "keten1"}) {
        auto bottom = std::make_shared<Folder>(root.folder(name));
        for (int level = 2; level <= 3000; ++level)
            *bottom = bottom->folder("d");
        EXPECT_GT(bottom->path().size(), size_t(PATH_MAX));
        tree.tagged.insert(bottom->stamped("onderaan.txt"));
        bottoms.push_back(std::move(bottom));
    }
    // A file tagged and another untagged down there: rechecked through their long paths.
    tree.change = [bottoms] {
        const auto later = bottoms[0]->stamped("later.txt");
        bottoms[0]->untag("onderaan.txt");
        return Set{later, bottoms[1]->path() + "/onderaan.txt"};
    };
    return tree;
}

// A comb 1,000 levels deep: at every level the spine goes on beside three branches with files.
// Stamped files at several depths.
void comb(const Folder &at, const std::string &name, Blanks &blanks, Tree &tree) {
    Folder spine = at.folder(name);
    for (int level = 1; level <= 1000; ++level) {
        for (int branch = 0; branch < 3; ++branch) {
            const Folder twig = spine.folder("tak" + std::to_string(branch));
            for (const char *file : {"a", "b", "c", "d"})
                blanks.make(twig, file);
            if (branch == 1 && level % 200 == 0)
                tree.tagged.insert(twig.stamped("blad.txt"));
        }
        if (level % 250 == 0)
            tree.tagged.insert(spine.stamped("stam.txt"));
        if (level < 1000)
            spine = spine.folder("stam");
    }
    EXPECT_GT(spine.path().size(), size_t(PATH_MAX));
}

// Two combs, one for each worker to go down while the other is busy with its own.
Tree combs(const Folder &root) {
    Tree tree;
    Blanks blanks(root);
    comb(root, "kam0", blanks, tree);
    comb(root, "kam1", blanks, tree);
    return tree;
}

// One folder of 200,000 entries, five of them stamped.
Tree crowd(const Folder &root) {
    Tree tree;
    Blanks blanks(root);
    const Folder crowded = root.folder("veel");
    char name[16];
    for (int i = 0; i < 200000; ++i) {
        std::snprintf(name, sizeof name, "f%06d", i);
        if (i % 40000 == 7)
            tree.tagged.insert(crowded.stamped(name));
        else
            blanks.make(crowded, name);
    }
    return tree;
}

constexpr int shakenChains = 6;
// Deeper than the folders a worker keeps open.
constexpr int shakenChainDepth = 70;

// A branch of two folders with a stamped file, made and deleted again and again.
void stampedBranch(const fs::path &at) {
    fs::create_directories(at / "blad");
    Folder::open(at / "blad").stamped("blad.txt");
}

// A chain of folders named "d" with stamped files along it and a branch near the top.
void stampedChain(const Folder &at, const std::string &name) {
    Folder level = at.folder(name);
    for (int depth = 1; depth <= shakenChainDepth; ++depth) {
        if (depth == 20 || depth == 50 || depth == shakenChainDepth)
            level.stamped("s" + std::to_string(depth));
        if (depth == 2)
            stampedBranch(fs::path(level.path()) / "tak");
        if (depth < shakenChainDepth)
            level = level.folder("d");
    }
}

fs::path descend(fs::path path, int levels) {
    for (int level = 0; level < levels; ++level)
        path /= "d";
    return path;
}

// A tree that stays put beside chains which are renamed, cut in two and put together again, and
// have branches deleted and made again, while the crawl runs.
Tree shaken(const Folder &root) {
    Tree tree;
    Blanks blanks(root);
    const Folder steady = root.folder("vast");
    for (int a = 0; a < 30; ++a) {
        const Folder top = steady.folder("m" + std::to_string(a));
        tree.tagged.insert(top.stamped("blijft.txt"));
        for (int b = 0; b < 30; ++b) {
            const Folder sub = top.folder("n" + std::to_string(b));
            for (const char *name : {"x", "y", "z"})
                blanks.make(sub, name);
        }
    }
    const Folder moving = root.folder("vluchtig");
    for (int i = 0; i < shakenChains; ++i)
        stampedChain(moving, "v" + std::to_string(i));

    tree.shake = [whole = fs::path(root.path()),
                  base = fs::path(moving.path())](const std::atomic<bool> &stop) {
        std::vector<bool> renamed(shakenChains), cut(shakenChains);
        // Every kind of change at least once on every chain, however soon the crawl ends.
        for (int n = 0; !stop || n < 3 * shakenChains; ++n) {
            const auto i = static_cast<size_t>(n % shakenChains);
            const auto named = [&](const char *prefix) {
                return base / (prefix + std::to_string(i));
            };
            const fs::path top = named(renamed[i] ? "w" : "v");
            std::error_code error;
            switch (n / shakenChains % 3) {
            case 0:
                fs::rename(top, named(renamed[i] ? "v" : "w"), error);
                if (!error)
                    renamed[i] = !renamed[i];
                break;
            case 1:
                if (cut[i])
                    fs::rename(named("los"), descend(top, 2), error);
                else
                    fs::rename(descend(top, 2), named("los"), error);
                if (!error)
                    cut[i] = !cut[i];
                break;
            default:
                if (const auto branch = descend(top, 1) / "tak"; fs::exists(branch))
                    fs::remove_all(branch);
                else
                    stampedBranch(branch);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return taggedBelow(whole);
    };
    return tree;
}

// A stamped file beside something that is no file to read, made by `make` as `name`.
Tree beside(const Folder &root, const char *name,
            const std::function<void(const Folder &, const char *)> &make) {
    const Folder odd = root.folder("bijzonder");
    make(odd, name);
    return {{odd.stamped("naast.txt")}, {}, {}, {odd.path() + "/" + name}};
}

struct HostileTree {
    std::string name;
    std::function<Tree(const Folder &root)> build;
    bool needsRoot = false;
};

void PrintTo(const HostileTree &tree, std::ostream *out) {
    *out << tree.name;
}

const HostileTree hostileTrees[] = {
    {"ChainsOf3000Folders", chains},
    {"CombsOf1000LevelsBusyOnEveryWorker", combs},
    {"FolderOf200000Entries", crowd},
    {"RenamedAndDeletedWhileCrawled", shaken},
    {"Fifo",
     [](const Folder &root) {
         return beside(root, "pijp", [](const Folder &at, const char *name) {
             if (::mkfifoat(at.fd(), name, 0600) != 0)
                 fail("mkfifo");
         });
     }},
    {"Socket",
     [](const Folder &root) {
         return beside(root, "stopcontact", [](const Folder &at, const char *name) {
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             const std::string path = at.path() + "/" + name;
             if (path.size() >= sizeof address.sun_path)
                 fail("socket path too long: " + path);
             std::copy(path.begin(), path.end(), address.sun_path);
             const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
             const bool bound =
                 ::bind(socket, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
             ::close(socket);
             if (!bound)
                 fail("bind " + path);
         });
     }},
    {"DeviceNode",
     [](const Folder &root) {
         return beside(root, "apparaat", [](const Folder &at, const char *name) {
             // The null device, under another name.
             if (::mknodat(at.fd(), name, S_IFCHR | 0600, ::makedev(1, 3)) != 0)
                 fail("mknod");
         });
     },
     true},
};

class HostileTreeTest : public ::testing::TestWithParam<HostileTree> {
protected:
    TemporaryFolder folder;
    fs::path root = folder.path() / "thuis";

    void SetUp() override { fs::create_directories(root); }
    void TearDown() override { removeTree(root); }
};

// However many folders a worker keeps open, it is a few dozen: far below these depths.
int mostDescriptorsForCrawling() {
    return 100 * static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

Set resultsOf(const kelo::TagIndex &index) {
    Set results;
    for (const auto &path : *index.results())
        results.insert(path.string());
    return results;
}

// Waits until `predicate` holds; false after five seconds.
template <typename Predicate> bool eventually(Predicate predicate) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace

TEST_P(HostileTreeTest, IsCrawledToTheBottomAndLeavesNoFolderOpen) {
    if (GetParam().needsRoot && ::geteuid() != 0)
        GTEST_SKIP() << "needs root to make a device node";
    const Tree tree = GetParam().build(Folder::open(root));
    const int opened = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(opened, 0);
    for (const auto &path : tree.neverOpened)
        ASSERT_GE(::inotify_add_watch(opened, path.c_str(), IN_OPEN), 0) << path;
    const int before = openDescriptors();
    {
        IndexHarness harness({root});
        // The index's own: its inotify instance and its wake-up.
        const int idle = openDescriptors();
        DescriptorPeak peak;
        std::atomic<bool> stop{false};
        Set settled;
        std::thread shaker;
        if (tree.shake)
            shaker = std::thread([&] {
                try {
                    settled = tree.shake(stop);
                } catch (const std::exception &error) {
                    ADD_FAILURE() << error.what();
                }
            });
        harness.start();
        const bool gathered = harness.waitGathered();
        stop = true;
        if (shaker.joinable())
            shaker.join();
        const int most = peak.stop();
        ASSERT_TRUE(gathered);

        alignas(inotify_event) char event[sizeof(inotify_event) + NAME_MAX + 1];
        const ssize_t size = ::read(opened, event, sizeof event);
        const int error = errno;
        EXPECT_TRUE(size < 0 && error == EAGAIN) << "the crawl opened a special file";
        const Set found = harness.resultsAtGathering();
        if (tree.shake) {
            EXPECT_TRUE(
                std::includes(found.begin(), found.end(), tree.tagged.begin(), tree.tagged.end()))
                << "found " << shown(found) << "\nwhere these stayed " << shown(tree.tagged);
            EXPECT_TRUE(harness.waitResults(settled))
                << "results " << shown(harness.results()) << "\nin the tree " << shown(settled);
        } else {
            EXPECT_TRUE(found == tree.tagged)
                << "found " << shown(found) << "\nin the tree " << shown(tree.tagged);
            EXPECT_EQ(openDescriptors(), idle);
            EXPECT_LT(most - idle, mostDescriptorsForCrawling());
        }

        // What the shelf reads of them, one by one and on threads, however long the paths.
        const std::vector<fs::path> paths(tree.tagged.begin(), tree.tagged.end());
        std::vector<fs::path> many;
        while (many.size() < 64)
            many.insert(many.end(), paths.begin(), paths.end());
        const auto calendar = kelo::Calendar::forZone("UTC");
        const auto stamp = kelo::parseStampValue(stampText, calendar);
        ASSERT_TRUE(stamp);
        for (const auto &read :
             {kelo::readStamps(paths, calendar), kelo::readStamps(many, calendar)})
            EXPECT_TRUE(std::all_of(read.begin(), read.end(),
                                    [&](const auto &value) { return value == stamp; }));

        if (tree.change) {
            const Set changed = tree.change();
            EXPECT_TRUE(harness.waitResults(changed))
                << "results " << shown(harness.results()) << "\nin the tree " << shown(changed);
        }
    }
    EXPECT_EQ(openDescriptors(), before);
    ::close(opened);
}

INSTANTIATE_TEST_SUITE_P(Trees, HostileTreeTest, ::testing::ValuesIn(hostileTrees),
                         [](const auto &row) { return row.param.name; });

// Moves above a walk that is deeper than the folders its worker keeps open, made while it reads
// the bottom folder: on its way back the folders it had closed are found again where they are
// now, or passed over when they cannot be, and the index's watches put the rest right.
struct MoveAbove {
    std::string name;
    // Also renames the top of the chain, so that the folders above the cut cannot be found by
    // name either.
    bool renameTop = false;
};

void PrintTo(const MoveAbove &move, std::ostream *out) {
    *out << move.name;
}

class HostileMoveTest : public ::testing::TestWithParam<MoveAbove> {
protected:
    TemporaryFolder folder;
    fs::path root = folder.path() / "thuis";

    void SetUp() override { fs::create_directories(root); }
    void TearDown() override { removeTree(root); }
};

TEST_P(HostileMoveTest, TheWalkComesBackUpThroughMovedFolders) {
    // root/keten/d (level 1) ... /d (level 100): at level 5 folders to read once the walk is
    // back from below, at the bottom many names to read while the moves are made.
    Set sideFiles;
    {
        const Folder top = Folder::open(root);
        Blanks blanks(top);
        Folder level = top.folder("keten");
        for (int depth = 1; depth <= 100; ++depth) {
            level = level.folder("d");
            if (depth == 5)
                for (int side = 0; side < 10; ++side)
                    sideFiles.insert(level.folder("z" + std::to_string(side)).stamped("z.txt"));
            if (depth == 50)
                level.stamped("midden.txt");
        }
        char name[16];
        for (int i = 0; i < 20000; ++i) {
            std::snprintf(name, sizeof name, "f%05d", i);
            blanks.make(level, name);
        }
        level.stamped("onderaan.txt");
    }
    const fs::path bottom = descend(root / "keten", 100);
    const int opened = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(opened, 0);
    ASSERT_GE(::inotify_add_watch(opened, bottom.c_str(), IN_OPEN), 0);
    const int before = openDescriptors();
    {
        std::mutex mutex;
        std::optional<Set> gathered;
        std::unique_ptr<kelo::TagIndex> index;
        kelo::TagIndex::Options options;
        options.scope.roots.push_back({root, true});
        options.workers = 1;
        index = std::make_unique<kelo::TagIndex>(
            std::move(options),
            [&] {
                Set results = resultsOf(*index);
                std::lock_guard lock(mutex);
                gathered = std::move(results);
            },
            nullptr);
        index->start();

        // The crawl opens the bottom folder: cut the chain below level 5, and take the top away.
        pollfd event{opened, POLLIN, 0};
        ASSERT_EQ(::poll(&event, 1, 5000), 1);
        fs::rename(descend(root / "keten", 6), root / "los");
        if (GetParam().renameTop)
            fs::rename(root / "keten", root / "ketting");

        ASSERT_TRUE(eventually([&] {
            std::lock_guard lock(mutex);
            return gathered.has_value();
        }));
        if (!GetParam().renameTop) {
            // Level 5 was found again by name: what was left to read there was read.
            std::lock_guard lock(mutex);
            EXPECT_TRUE(std::includes(gathered->begin(), gathered->end(), sideFiles.begin(),
                                      sideFiles.end()))
                << "found " << shown(*gathered);
        }
        const Set tree = taggedBelow(root);
        EXPECT_EQ(tree.size(), 12u);
        EXPECT_TRUE(eventually([&] { return resultsOf(*index) == tree; }))
            << "results " << shown(resultsOf(*index)) << "\nin the tree " << shown(tree);
    }
    EXPECT_EQ(openDescriptors(), before);
    ::close(opened);
}

INSTANTIATE_TEST_SUITE_P(Moves, HostileMoveTest,
                         ::testing::Values(MoveAbove{"CutBelowAFolderLeftToRead", false},
                                           MoveAbove{"CutAndTopRenamed", true}),
                         [](const auto &row) { return row.param.name; });

using HostileTreeCancelTest = HostileTreeTest;

// Kelo quit in the middle of its first crawl of a deep tree.
TEST_F(HostileTreeCancelTest, AnIndexDestroyedMidCrawlLeavesNoFolderOpen) {
    combs(Folder::open(root));
    const int before = openDescriptors();
    {
        kelo::TagIndex::Options options;
        options.scope.roots.push_back({root, true});
        kelo::TagIndex index(std::move(options), nullptr, nullptr);
        index.start();
        // Deep in the tree: a worker holding as many folders open as it keeps.
        ASSERT_TRUE(eventually([&] { return openDescriptors() >= before + 2 + 60; }));
        EXPECT_TRUE(index.results()->empty()) << "the crawl ended before it could be stopped";
    }
    EXPECT_EQ(openDescriptors(), before);
}

// A folder mounted inside itself after Kelo read the mount table: the walk stays on its own
// mount instead of going round the loop for ever.
TEST_F(HostileTreeTest, ABindMountOfTheTreeIntoItselfIsNotEntered) {
    const Folder top = Folder::open(root);
    const Folder werk = top.folder("werk");
    const std::string stamped = werk.stamped("rapport.txt");
    werk.folder("lus");
    const pid_t child = ::fork();
    if (child == 0) {
        // A mount namespace of the child's own: the mount goes when the child does.
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount(root.c_str(), (root / "werk/lus").c_str(), nullptr, MS_BIND, nullptr) != 0)
            ::_exit(77);
        IndexHarness harness({root});
        harness.start();
        ::_exit(harness.waitGathered() && harness.results() == Set{stamped} ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "needs the right to mount in a namespace of its own";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
