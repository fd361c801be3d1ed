// How soon a stamped file saved by replacing it has its date back: from the save's rename until
// the date is on the new file, against the index's own latency for a stamp written by hand
// (from the setxattr until the file is in the index's results), measured in the same run.

#include "BenchMain.h"

#include "ExpiryStamp.h"
#include "TagIndex.h"
#include "TagList.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <thread>

#include <sys/xattr.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A running index over a folder of its own, with a stamped file in it.
class Indexed {
public:
    Indexed() {
        std::string pattern = (fs::temp_directory_path() / "kelo-save-bench-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        m_folder = pattern;
        m_file = m_folder / "verslag.odt";
        std::ofstream(m_file) << "oud";
        stamp(m_file);
        kelo::TagIndex::Options options;
        options.scope.roots.push_back({m_folder, true});
        m_index = std::make_unique<kelo::TagIndex>(
            std::move(options),
            [this] {
                std::lock_guard lock(m_mutex);
                m_gathered = true;
                m_changed.notify_all();
            },
            nullptr);
        m_index->start();
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_gathered; });
    }
    ~Indexed() {
        m_index.reset();
        fs::remove_all(m_folder);
    }

    const fs::path &folder() const { return m_folder; }
    const fs::path &file() const { return m_file; }
    kelo::TagIndex &index() { return *m_index; }

    static void stamp(const fs::path &file) {
        const std::string tags(kelo::stampTagName);
        ::setxattr(file.c_str(), kelo::stampAttributeName, "2026-03-01", 10, 0);
        ::setxattr(file.c_str(), kelo::tagListAttributeName, tags.data(), tags.size(), 0);
    }

private:
    fs::path m_folder;
    fs::path m_file;
    std::unique_ptr<kelo::TagIndex> m_index;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_gathered = false;
};

Indexed &indexed() {
    static Indexed instance;
    return instance;
}

bool hasStamp(const fs::path &file) {
    char value[16];
    return ::getxattr(file.c_str(), kelo::stampAttributeName, value, sizeof value) == 10;
}

template <typename Predicate> void waitUntil(Predicate predicate, benchmark::State &state) {
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (!predicate()) {
        if (Clock::now() > deadline) {
            state.SkipWithError("nothing happened within 2 s");
            return;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

// A save as GLib and sed make it: a new file beside the old one, renamed over it.
void dateBackAfterSave(benchmark::State &state) {
    Indexed &at = indexed();
    const fs::path temporary = at.folder() / ".goutputstream-BENCH";
    for (auto _ : state) {
        std::ofstream(temporary) << "nieuw";
        const auto start = Clock::now();
        fs::rename(temporary, at.file());
        waitUntil([&] { return hasStamp(at.file()); }, state);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
}
// One save per repetition: the median is the median of 100 saves.
BENCHMARK(dateBackAfterSave)
    ->Iterations(1)
    ->Repetitions(100)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

// The peer: a stamp written by hand onto a new file, until the index lists the file.
void stampSeenByIndex(benchmark::State &state) {
    Indexed &at = indexed();
    // A name of its own each time: a stamped file deleted and made again at once is a save.
    static int round = 0;
    for (auto _ : state) {
        const fs::path file = at.folder() / ("nieuw " + std::to_string(round++) + ".txt");
        std::ofstream(file) << "x";
        // Let the file's creation pass through the index first.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const auto start = Clock::now();
        Indexed::stamp(file);
        waitUntil(
            [&] {
                const auto results = at.index().results();
                return std::find(results->begin(), results->end(), file) != results->end();
            },
            state);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        fs::remove(file);
    }
}
BENCHMARK(stampSeenByIndex)
    ->Iterations(1)
    ->Repetitions(100)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

} // namespace

int main(int argc, char **argv) {
    return kelo::bench::runBenchmarks(argc, argv,
                                      {{"dateBackAfterSave/iterations:1/repeats:100/manual_time",
                                        "stampSeenByIndex/iterations:1/repeats:100/manual_time"}});
}
