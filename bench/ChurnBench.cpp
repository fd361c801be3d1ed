// Stamps taken away one at a time, 2 ms apart, while Kelo watches: the process's CPU time per
// removed stamp with a shelf of 20,000 stamped files against the same with 5,000. When the cost
// follows the change the ratio is near 1; when each batch redoes the whole shelf it nears 4.

#include "BenchMain.h"

#include "ExpiryStamp.h"
#include "ShelfSupport.h"

#include <QCoreApplication>
#include <QTest>

#include <atomic>
#include <fstream>
#include <thread>

#include <sys/resource.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

namespace {

namespace fs = std::filesystem;

double cpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void churn(benchmark::State &state) {
    const auto count = static_cast<int>(state.range(0));
    const fs::path root =
        fs::temp_directory_path() /
        ("kelo-bench-churn-" + std::to_string(::getpid()) + "-" + std::to_string(count));
    std::vector<fs::path> files;
    const kelo::Calendar calendar = kelo::Calendar::current();
    const auto date = calendar.startOfDay(kelo::currentInstant());
    for (int i = 0; i < count; ++i) {
        const fs::path folder = root / ("map-" + std::to_string(i / 100));
        fs::create_directories(folder);
        files.push_back(folder / ("bestand " + std::to_string(i) + ".txt"));
        std::ofstream(files.back()) << i;
        kelo::writeStamp(date, files.back(), calendar);
    }
    for (auto _ : state) {
        NoPresenter presenter;
        const auto shelf = shelfOver(root, presenter);
        if (!QTest::qWaitFor([&] { return std::ssize(shelf->items()) == count; }, 60000))
            state.SkipWithError("the shelf did not load");
        QTest::qWait(500);
        const double before = cpuSeconds();
        std::atomic<bool> done{false};
        std::thread remover([&] {
            for (const auto &file : files) {
                kelo::clearStamp(file);
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            done = true;
        });
        const bool emptied =
            QTest::qWaitFor([&] { return done && shelf->items().empty(); }, 120000);
        remover.join();
        const double used = cpuSeconds() - before;
        if (!emptied)
            state.SkipWithError("the shelf never emptied");
        state.SetIterationTime(used / count);
        for (const auto &file : files)
            kelo::writeStamp(date, file, calendar);
    }
    fs::remove_all(root);
}
BENCHMARK(churn)->Arg(5000)->Arg(20000)->Iterations(1)->UseManualTime()->Unit(
    benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv) {
    QCoreApplication application(argc, argv);
    return kelo::bench::runBenchmarks(
        argc, argv,
        {{"churn/20000/iterations:1/manual_time", "churn/5000/iterations:1/manual_time"}});
}
