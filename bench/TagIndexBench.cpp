// The tag index on the generated tree (bench/make-tree: 1,000,000 files in 100,000 folders,
// 1,000 of them tagged): its first gathering against merely listing the tree with fd and find,
// warm and cold; the start from the cache; and the time from a stamp written to the update.

#include "BenchMain.h"

#include "ExpiryStamp.h"
#include "IndexCache.h"
#include "TagIndex.h"

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

extern char **environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

fs::path tree() {
    const char *path = std::getenv("KELO_BENCH_TREE");
    return path ? path : "/var/tmp/kelo-bench-tree";
}

constexpr size_t expectedTagged = 1000;

// Counts the index's signals so that a run can wait for them.
struct Signals {
    std::mutex mutex;
    std::condition_variable changed;
    int gathered = 0;
    int updates = 0;
    Clock::time_point lastUpdate;

    void gather() {
        std::lock_guard lock(mutex);
        ++gathered;
        changed.notify_all();
    }
    void update() {
        std::lock_guard lock(mutex);
        ++updates;
        lastUpdate = Clock::now();
        changed.notify_all();
    }
    template <typename Predicate> bool wait(Predicate predicate) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::minutes(5), predicate);
    }
};

kelo::TagIndex::Options options(bool watched, fs::path cacheFile = {}) {
    kelo::TagIndex::Options options;
    options.scope.roots.push_back({tree(), watched});
    options.cacheFile = std::move(cacheFile);
    return options;
}

double gatherOnce(benchmark::State &state, bool watched, const fs::path &cacheFile = {}) {
    Signals signals;
    kelo::TagIndex index(
        options(watched, cacheFile), [&] { signals.gather(); }, [&] { signals.update(); });
    const auto start = Clock::now();
    index.start();
    signals.wait([&] { return signals.gathered > 0; });
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (index.results()->size() != expectedTagged)
        state.SkipWithError("the index found the wrong number of files");
    return seconds;
}

double runCommand(const std::vector<std::string> &argv) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    std::vector<char *> args;
    for (const auto &arg : argv)
        args.push_back(const_cast<char *>(arg.c_str()));
    args.push_back(nullptr);
    const auto start = Clock::now();
    pid_t pid = 0;
    if (::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0)
        return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    posix_spawn_file_actions_destroy(&actions);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool dropCaches() {
    ::sync();
    std::ofstream drop("/proc/sys/vm/drop_caches");
    drop << "3\n";
    return drop.good();
}

void indexGathering(benchmark::State &state) {
    for (auto _ : state)
        state.SetIterationTime(gatherOnce(state, true));
}

void indexGatheringUnwatched(benchmark::State &state) {
    for (auto _ : state)
        state.SetIterationTime(gatherOnce(state, false));
}

void fdList(benchmark::State &state) {
    for (auto _ : state)
        state.SetIterationTime(
            runCommand({"fdfind", "--unrestricted", "--type", "f", ".", tree()}));
}

void findList(benchmark::State &state) {
    for (auto _ : state)
        state.SetIterationTime(runCommand({"find", tree(), "-type", "f"}));
}

void indexStartFromCache(benchmark::State &state) {
    const fs::path cacheFile = fs::temp_directory_path() / "kelo-bench-index-cache";
    {
        Signals signals;
        kelo::TagIndex index(
            options(true, cacheFile), [&] { signals.gather(); }, [&] { signals.update(); });
        index.start();
        signals.wait([&] { return signals.gathered > 0; });
    }
    for (auto _ : state)
        state.SetIterationTime(gatherOnce(state, true, cacheFile));
    fs::remove(cacheFile);
}

void indexGatheringCold(benchmark::State &state) {
    for (auto _ : state) {
        if (!dropCaches()) {
            state.SkipWithError("cannot drop the page cache (not root)");
            return;
        }
        state.SetIterationTime(gatherOnce(state, true));
    }
}

void fdListCold(benchmark::State &state) {
    for (auto _ : state) {
        if (!dropCaches()) {
            state.SkipWithError("cannot drop the page cache (not root)");
            return;
        }
        state.SetIterationTime(
            runCommand({"fdfind", "--unrestricted", "--type", "f", ".", tree()}));
    }
}

// From writing a stamp with the library to the index's update signal.
void stampToUpdate(benchmark::State &state) {
    Signals signals;
    kelo::TagIndex index(
        options(true), [&] { signals.gather(); }, [&] { signals.update(); });
    index.start();
    signals.wait([&] { return signals.gathered > 0; });
    const fs::path file = tree() / "a00/b000/c000000/bench-latency.txt";
    std::ofstream(file) << "x";
    bool stamped = false;
    for (auto _ : state) {
        const int before = signals.updates;
        const auto start = Clock::now();
        const auto error =
            stamped ? kelo::clearStamp(file) : kelo::writeStamp(kelo::currentInstant(), file);
        if (error) {
            state.SkipWithError("could not stamp");
            break;
        }
        stamped = !stamped;
        signals.wait([&] { return signals.updates > before; });
        state.SetIterationTime(std::chrono::duration<double>(signals.lastUpdate - start).count());
    }
    kelo::clearStamp(file);
    fs::remove(file);
}

// Memory: what the index holds, and how much the process grew while it gathered.
void reportMemory() {
    auto residentKiB = [] {
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("VmRSS:", 0) == 0)
                return std::stol(line.substr(6));
        return 0L;
    };
    const long before = residentKiB();
    Signals signals;
    kelo::TagIndex index(
        options(true), [&] { signals.gather(); }, [&] { signals.update(); });
    index.start();
    signals.wait([&] { return signals.gathered > 0; });
    const auto statistics = index.statistics();
    std::printf("index memory: %zu found, %zu watched folders: %.1f MB held by the index; "
                "process resident size grew by %.1f MB\n\n",
                statistics.found, statistics.watchedFolders, double(statistics.bytes) / 1e6,
                double(residentKiB() - before) / 1e3);
}

} // namespace

BENCHMARK(indexGathering)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(7)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(indexGatheringUnwatched)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(7)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(fdList)->UseManualTime()->Iterations(1)->Repetitions(7)->Unit(benchmark::kMillisecond);
BENCHMARK(findList)->UseManualTime()->Iterations(1)->Repetitions(7)->Unit(benchmark::kMillisecond);
BENCHMARK(indexStartFromCache)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(7)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(stampToUpdate)
    ->UseManualTime()
    ->Iterations(25)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(indexGatheringCold)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(fdListCold)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char **argv) {
    if (!fs::exists(tree() / ".kelo-tree")) {
        std::fprintf(stderr, "No benchmark tree at %s: run bench/make-tree first.\n",
                     tree().c_str());
        return 1;
    }
    reportMemory();
    return kelo::bench::runBenchmarks(
        argc, argv,
        {{"indexGathering/iterations:1/repeats:7/manual_time",
          "fdList/iterations:1/repeats:7/manual_time"},
         {"indexGathering/iterations:1/repeats:7/manual_time",
          "findList/iterations:1/repeats:7/manual_time"},
         {"indexGatheringUnwatched/iterations:1/repeats:7/manual_time",
          "fdList/iterations:1/repeats:7/manual_time"},
         {"indexStartFromCache/iterations:1/repeats:7/manual_time",
          "fdList/iterations:1/repeats:7/manual_time"},
         {"indexGatheringCold/iterations:1/repeats:3/manual_time",
          "fdListCold/iterations:1/repeats:3/manual_time"}});
}
