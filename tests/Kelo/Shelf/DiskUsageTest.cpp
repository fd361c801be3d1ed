#include "DiskUsage.h"
#include "ShelfOrder.h"
#include "TemporaryFolder.h"

#include <QTest>

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

// Waits on the main thread until everything `items` needs is known, and the worker is idle.
bool known(const DiskUsage &usage, const std::vector<fs::path> &items) {
    return QTest::qWaitFor([&] { return usage.allKnown(items); }, 20000) &&
           QTest::qWaitFor([&] { return !usage.busy(); }, 20000);
}

} // namespace

// Sizes are measured off the main thread, equal to allocatedSize; a missing item is 0. Kept while
// the item is the same, measured again once the item itself changed.
TEST(DiskUsageTest, SizesArriveAndAreKeptUntilTheItemChanges) {
    const TemporaryFolder folder;
    const fs::path file = folder.file("report.pdf", std::string(20'000, 'r'));
    const fs::path project = folder.path() / "project", missing = folder.path() / "missing";
    fs::create_directories(project / "deeper");
    folder.file("project/notes.txt", std::string(30'000, 'n'));
    folder.file("project/deeper/data.bin", std::string(50'000, 'd'));

    DiskUsage usage;
    QObject review, reminder;
    usage.want(&review, {file, project, missing});
    ASSERT_TRUE(known(usage, {file, project, missing}));
    EXPECT_EQ(usage.size(project), allocatedSize(project));
    EXPECT_EQ(usage.size(missing), 0);
    const auto projectBefore = *usage.size(project), fileBefore = *usage.size(file);

    // A change below a subfolder leaves the folder's own times alone: the kept size is given.
    // The file grows, and so does its signature: it is measured again. A second consumer that
    // newly wants both waits for them to be checked, and is not answered from the old sizes.
    folder.file("project/deeper/more.bin", std::string(40'000, 'm'));
    std::ofstream(file, std::ios::app) << std::string(100'000, 'r');
    ASSERT_GT(allocatedSize(file), fileBefore);
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

// A walk through a big folder stops soon after nobody wants it, whether its consumer is destroyed
// or says it wants nothing: an item wanted after it is measured next, and the big folder's size
// never arrives, as it would have had its walk run to the end. The walk asks every 4,096 entries,
// the last time at its last entry here, and runs at the lowest priority: ten of those spans are
// far more than the main thread needs to say so.
TEST(DiskUsageTest, AMeasurementNobodyWantsIsAbandoned) {
    const TemporaryFolder folder;
    const fs::path big = folder.path() / "big";
    fs::create_directory(big);
    const int fd = ::open(big.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; i < 10 * 4096; ++i)
        ::close(::openat(fd, std::to_string(i).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    ::close(fd);

    // The worker opening the folder says its walk has begun.
    const int watch = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(::inotify_add_watch(watch, big.c_str(), IN_OPEN), 0);
    const auto walkBegins = [&] {
        pollfd ready{watch, POLLIN, 0};
        alignas(inotify_event) char events[4096];
        return ::poll(&ready, 1, 20000) == 1 && ::read(watch, events, sizeof events) > 0;
    };

    DiskUsage usage;
    for (const bool destroyed : {true, false}) {
        QObject later;
        auto consumer = std::make_unique<QObject>();
        usage.want(consumer.get(), {big});
        ASSERT_TRUE(walkBegins());
        if (destroyed) {
            consumer.reset();
        } else {
            usage.want(consumer.get(), {});
        }
        const fs::path small = folder.file(destroyed ? "small" : "other", std::string(10'000, 's'));
        usage.want(&later, {small});
        ASSERT_TRUE(known(usage, {small}));
        EXPECT_EQ(usage.size(small), allocatedSize(small));
        EXPECT_FALSE(usage.size(big));
    }
    ::close(watch);
}
