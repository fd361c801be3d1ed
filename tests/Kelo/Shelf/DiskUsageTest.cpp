#include "DiskUsage.h"
#include "ShelfOrder.h"
#include "TemporaryFolder.h"

#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <fstream>
#include <memory>

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <gtest/gtest.h>

using kelo::allocatedSize;
using kelo::DiskUsage;
namespace fs = std::filesystem;

namespace {

// Waits on the main thread until everything `items` needs is known.
bool known(const DiskUsage &usage, const std::vector<fs::path> &items) {
    return QTest::qWaitFor([&] { return usage.allKnown(items); }, 20000);
}

bool settled(const DiskUsage &usage) {
    return QTest::qWaitFor([&] { return !usage.busy(); }, 20000);
}

// `count` empty files in a new folder `folder`.
void manyFiles(const fs::path &folder, int count) {
    fs::create_directory(folder);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    for (int i = 0; i < count; ++i) {
        const int file =
            ::openat(fd, std::to_string(i).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        ASSERT_GE(file, 0);
        ::close(file);
    }
    ::close(fd);
}

} // namespace

// Sizes are measured off the main thread and delivered on it, equal to allocatedSize; a missing
// item is 0. Kept while the item is the same, measured again once the item itself changed.
TEST(DiskUsageTest, SizesArriveOnTheMainThreadAndAreKeptUntilTheItemChanges) {
    const TemporaryFolder folder;
    const fs::path file = folder.file("report.pdf", std::string(20'000, 'r'));
    const fs::path project = folder.path() / "project";
    fs::create_directories(project / "deeper");
    folder.file("project/notes.txt", std::string(30'000, 'n'));
    folder.file("project/deeper/data.bin", std::string(50'000, 'd'));
    const fs::path missing = folder.path() / "missing";
    const std::vector<fs::path> items = {file, project, missing};

    DiskUsage usage;
    QObject review;
    std::vector<bool> onMainThread;
    QObject::connect(&usage, &DiskUsage::sizesChanged, &usage,
                     [&] { onMainThread.push_back(QThread::currentThread() == usage.thread()); });
    usage.want(&review, items);
    EXPECT_TRUE(usage.busy());
    EXPECT_FALSE(usage.allKnown(items));
    ASSERT_TRUE(known(usage, items));
    ASSERT_TRUE(settled(usage));
    ASSERT_FALSE(onMainThread.empty());
    EXPECT_EQ(std::count(onMainThread.begin(), onMainThread.end(), false), 0);
    EXPECT_GT(*usage.size(file), 0);
    EXPECT_EQ(usage.size(file), allocatedSize(file));
    EXPECT_EQ(usage.size(project), allocatedSize(project));
    EXPECT_EQ(usage.size(missing), 0);
    const auto projectBefore = *usage.size(project);

    // A change below a subfolder leaves the folder's own times alone: the kept size is given.
    // The file grows, and so does its signature: it is measured again. A second consumer that
    // newly wants both waits for them to be checked, and is not answered from the old sizes.
    folder.file("project/deeper/more.bin", std::string(40'000, 'm'));
    std::ofstream(file, std::ios::app) << std::string(100'000, 'r');
    const auto fileBefore = *usage.size(file);
    ASSERT_GT(allocatedSize(file), fileBefore);
    QObject reminder;
    usage.want(&reminder, {file, project});
    EXPECT_FALSE(usage.allKnown({file, project}));
    EXPECT_EQ(usage.size(file), fileBefore); // the old size until the new one is known
    ASSERT_TRUE(known(usage, {file, project}));
    EXPECT_EQ(usage.size(file), allocatedSize(file));
    EXPECT_EQ(usage.size(project), projectBefore);
    EXPECT_LT(*usage.size(project), allocatedSize(project));

    // A file added directly inside changes the folder itself (after the coarse clock that
    // stamps file times has moved on): now the whole folder is measured again.
    QTest::qWait(20);
    folder.file("project/added.txt", std::string(10'000, 'a'));
    usage.want(&reminder, {});
    usage.want(&reminder, {project});
    ASSERT_TRUE(known(usage, {project}));
    EXPECT_EQ(usage.size(project), allocatedSize(project));
}

// A walk through a folder of 200,000 files stops soon after nobody wants it, whether its
// consumer is destroyed or says it wants nothing: an item wanted after it is measured next, and
// the big folder's size never arrives, as it would have had its walk run to the end.
TEST(DiskUsageTest, AMeasurementNobodyWantsIsAbandoned) {
    const TemporaryFolder folder;
    const fs::path big = folder.path() / "big";
    manyFiles(big, 200'000);
    const fs::path small = folder.file("small.txt", std::string(10'000, 's'));
    const fs::path other = folder.file("other.txt", std::string(20'000, 'o'));

    // The worker opening the folder says its walk has begun.
    const int watch = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, big.c_str(), IN_OPEN), 0);
    const auto walkBegins = [&] {
        pollfd ready{watch, POLLIN, 0};
        if (::poll(&ready, 1, 20000) != 1)
            return false;
        alignas(inotify_event) char events[4096];
        return ::read(watch, events, sizeof events) > 0;
    };

    DiskUsage usage;
    QObject later;
    {
        auto consumer = std::make_unique<QObject>();
        usage.want(consumer.get(), {big});
        ASSERT_TRUE(walkBegins());
    }
    usage.want(&later, {small});
    ASSERT_TRUE(known(usage, {small}));
    ASSERT_TRUE(settled(usage));
    EXPECT_EQ(usage.size(small), allocatedSize(small));
    EXPECT_FALSE(usage.size(big));

    usage.want(&later, {big});
    ASSERT_TRUE(walkBegins());
    usage.want(&later, {});
    EXPECT_FALSE(usage.busy());
    QObject another;
    usage.want(&another, {other});
    ASSERT_TRUE(known(usage, {other}));
    ASSERT_TRUE(settled(usage));
    EXPECT_EQ(usage.size(other), allocatedSize(other));
    EXPECT_FALSE(usage.size(big));
    ::close(watch);
}
