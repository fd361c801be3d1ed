// One expired folder of 1,000,000 files sized by DiskUsage while the main thread runs a 1 ms
// timer: the longest the main thread went without a tick, and the time until the size arrived,
// against `du -s` on the same folder and against the plain walk on the calling thread (what
// sizing on the main thread would block it for).

#include "BenchMain.h"

#include "DiskUsage.h"
#include "ExpiryStamp.h"
#include "ShelfOrder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

namespace {

namespace fs = std::filesystem;

constexpr int fileCount = 1'000'000;
constexpr int repetitions = 5;

// The folder, made once and kept for later runs: empty files, every hundredth holding a byte so
// that the size is not 0, the folder itself stamped as expired a week ago.
fs::path millionFolder() {
    const char *configured = std::getenv("KELO_DISK_USAGE_BENCH_FOLDER");
    const fs::path folder =
        configured && *configured ? fs::path(configured) : fs::path("/var/tmp/kelo-bench-million");
    const fs::path marker = folder.string() + ".made";
    if (fs::exists(marker))
        return folder;
    std::printf("making %d files in %s\n", fileCount, folder.c_str());
    std::fflush(stdout);
    fs::remove_all(folder);
    fs::create_directories(folder);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        std::perror("open");
        std::exit(1);
    }
    for (int i = 0; i < fileCount; ++i) {
        const std::string name = "bestand-" + std::to_string(i) + ".txt";
        const int file = ::openat(fd, name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (file < 0 || (i % 100 == 0 && ::write(file, "x", 1) != 1)) {
            std::perror("openat");
            std::exit(1);
        }
        ::close(file);
    }
    ::close(fd);
    const kelo::Calendar calendar = kelo::Calendar::current();
    const auto lastWeek =
        calendar.adding(calendar.startOfDay(kelo::currentInstant()), kelo::DateComponent::Day, -7);
    if (kelo::writeStamp(lastWeek, folder, calendar)) {
        std::fprintf(stderr, "could not stamp %s\n", folder.c_str());
        std::exit(1);
    }
    std::ofstream{marker};
    return folder;
}

const fs::path &folder() {
    static const fs::path made = millionFolder();
    return made;
}

// `du -s --block-size=1` on the folder: its figure in bytes, or -1.
long long duSize() {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::execlp("du", "du", "-s", "--block-size=1", folder().c_str(),
                 static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    std::string text;
    char buffer[256];
    for (ssize_t got; (got = ::read(out[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(got));
    ::close(out[0]);
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return -1;
    return std::atoll(text.c_str());
}

double seconds(qint64 nanoseconds) {
    return static_cast<double>(nanoseconds) / 1e9;
}

struct Sizing {
    double seconds = 0;
    double longestBlockSeconds = 0;
    std::int64_t bytes = -1;
};

// A fresh DiskUsage (nothing known) sizes the folder; meanwhile a 1 ms timer ticks on this
// thread, and every gap between ticks is a time the thread could not answer.
Sizing sizeWithDiskUsage() {
    Sizing result;
    kelo::DiskUsage usage;
    QObject consumer;
    QEventLoop loop;
    QTimer ticks;
    ticks.setTimerType(Qt::PreciseTimer);
    ticks.setInterval(1);
    QElapsedTimer clock;
    qint64 lastTick = 0;
    const auto tick = [&] {
        const qint64 now = clock.nsecsElapsed();
        result.longestBlockSeconds = std::max(result.longestBlockSeconds, seconds(now - lastTick));
        lastTick = now;
    };
    QObject::connect(&ticks, &QTimer::timeout, &loop, tick);
    QObject::connect(&usage, &kelo::DiskUsage::sizesChanged, &loop, [&] {
        if (usage.allKnown({folder()}))
            loop.quit();
    });
    QTimer::singleShot(120000, &loop, [&] { loop.exit(1); });
    clock.start();
    ticks.start();
    usage.want(&consumer, {folder()});
    const bool arrived = loop.exec() == 0;
    tick();
    result.seconds = seconds(clock.nsecsElapsed());
    if (arrived)
        result.bytes = usage.size(folder()).value_or(-1);
    return result;
}

std::vector<Sizing> diskUsageRuns;
std::vector<double> duRuns;

void diskUsageSizing(benchmark::State &state) {
    for (auto _ : state) {
        const Sizing sizing = sizeWithDiskUsage();
        if (sizing.bytes < 0) {
            state.SkipWithError("the size did not arrive");
            return;
        }
        state.SetIterationTime(sizing.seconds);
        state.counters["longest_block_ms"] = sizing.longestBlockSeconds * 1e3;
        diskUsageRuns.push_back(sizing);
    }
}
BENCHMARK(diskUsageSizing)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(repetitions);

void duSummarize(benchmark::State &state) {
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        if (duSize() < 0) {
            state.SkipWithError("du failed");
            return;
        }
        const double taken = seconds(clock.nsecsElapsed());
        state.SetIterationTime(taken);
        duRuns.push_back(taken);
    }
}
BENCHMARK(duSummarize)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(repetitions);

// The walk alone, on the calling thread: as long as it takes, a main thread doing this is blocked.
void walkOnCallingThread(benchmark::State &state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(kelo::allocatedSize(folder()));
}
BENCHMARK(walkOnCallingThread)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(repetitions);

double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication application(argc, argv);
    // The first reading also warms the cache for everything after it, and checks the sizes
    // agree: du counts the folder's own blocks, which allocatedSize leaves out.
    struct stat status {};
    const long long du = duSize();
    if (du < 0 || ::lstat(folder().c_str(), &status) != 0) {
        std::fprintf(stderr, "du -s failed on %s\n", folder().c_str());
        return 1;
    }
    const long long expected = du - static_cast<long long>(status.st_blocks) * 512;
    const Sizing check = sizeWithDiskUsage();
    if (check.bytes != expected || check.bytes <= 0) {
        std::fprintf(stderr, "DiskUsage gives %lld bytes, du -s %lld without the folder itself\n",
                     static_cast<long long>(check.bytes), expected);
        return 1;
    }

    const int exit =
        kelo::bench::runBenchmarks(argc, argv,
                                   {{"diskUsageSizing/iterations:1/repeats:5/manual_time",
                                     "duSummarize/iterations:1/repeats:5/manual_time"},
                                    {"diskUsageSizing/iterations:1/repeats:5/manual_time",
                                     "walkOnCallingThread/iterations:1/repeats:5/real_time"}});
    if (exit != 0 || diskUsageRuns.empty() || duRuns.empty())
        return exit;
    std::vector<double> blocks, sizings;
    for (const Sizing &run : diskUsageRuns) {
        blocks.push_back(run.longestBlockSeconds);
        sizings.push_back(run.seconds);
    }
    std::printf("GUI-thread longest block: %.1f ms (goal ≤ 50 ms); sizing 1,000,000 files: "
                "%.2f s = %.2f × du -s (medians of %zu runs)\n",
                median(blocks) * 1e3, median(sizings), median(sizings) / median(duRuns),
                sizings.size());
    return 0;
}
