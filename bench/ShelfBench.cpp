// A shelf reload over 10,000 stamped files in 1,000 folders, against the plainest way to do
// its work: one attribute read per file by its full path.

#include "BenchMain.h"

#include "ErrorPresenter.h"
#include "ExpiryStamp.h"
#include "Shelf.h"
#include "TagQuery.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include <fstream>

#include <sys/xattr.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

namespace {

namespace fs = std::filesystem;

class NoPresenter : public kelo::ErrorPresenter {
public:
    void present(const kelo::Error &, const fs::path &) override {}
};

// 10,000 stamped files, ten to a folder, three folders deep, as a home folder might hold them.
class StampedTree {
public:
    StampedTree() {
        m_root = fs::temp_directory_path() / ("kelo-bench-shelf-" + std::to_string(::getpid()));
        const kelo::Calendar calendar = kelo::Calendar::current();
        const auto today = calendar.startOfDay(kelo::currentInstant());
        for (int i = 0; i < 10000; ++i) {
            const auto folder = m_root / ("Documenten" + std::to_string(i / 1000)) /
                                ("project-" + std::to_string(i / 100 % 10)) /
                                ("map-" + std::to_string(i / 10 % 10));
            fs::create_directories(folder);
            const auto file = folder / ("bestand " + std::to_string(i) + ".pdf");
            std::ofstream(file) << i;
            kelo::writeStamp(calendar.adding(today, kelo::DateComponent::Day, i % 90 - 30), file,
                             calendar);
            m_files.push_back(file);
        }
    }
    ~StampedTree() { fs::remove_all(m_root); }
    const fs::path &root() const { return m_root; }
    const std::vector<fs::path> &files() const { return m_files; }

private:
    fs::path m_root;
    std::vector<fs::path> m_files;
};

const StampedTree &tree() {
    static const StampedTree tree;
    return tree;
}

// Every stamp read from the files, over a tree the index does not watch.
void shelfReload(benchmark::State &state) {
    NoPresenter presenter;
    kelo::TagIndex::Options options;
    options.scope.roots.push_back({tree().root(), false});
    kelo::Shelf shelf(std::make_unique<kelo::TagQuery>(std::move(options)), presenter);
    QSignalSpy loaded(&shelf, &kelo::Shelf::loadedChanged);
    loaded.wait(60000);
    if (shelf.items().size() != tree().files().size())
        state.SkipWithError("the shelf did not load every file");
    for (auto _ : state)
        shelf.reload();
}
BENCHMARK(shelfReload)->Unit(benchmark::kMillisecond)->UseRealTime();

// A shelf over the watched tree, once the index has read every date; null after an error.
std::unique_ptr<kelo::Shelf> watchedShelf(benchmark::State &state, NoPresenter &presenter) {
    kelo::TagIndex::Options options;
    options.scope.roots.push_back({tree().root(), true});
    auto shelf = std::make_unique<kelo::Shelf>(std::make_unique<kelo::TagQuery>(std::move(options)),
                                               presenter);
    QSignalSpy(shelf.get(), &kelo::Shelf::loadedChanged).wait(60000);
    const auto vouched = [&] {
        const auto stamps = shelf->query().found().stamps;
        return std::count_if(stamps->begin(), stamps->end(),
                             [](const std::string &stamp) { return !stamp.empty(); });
    };
    for (int wait = 0; wait < 600 && vouched() < std::ssize(tree().files()); ++wait)
        QTest::qWait(100);
    if (vouched() != std::ssize(tree().files())) {
        state.SkipWithError("the index did not read every date");
        return nullptr;
    }
    return shelf;
}

// The shelf rebuilt whole from the dates the index read, over a watched tree: what an update
// costs when the index cannot say what changed (after a crawl, say). An update it can say that
// for costs what the change touches (ChurnBench).
void shelfFromIndexDates(benchmark::State &state) {
    NoPresenter presenter;
    const auto shelf = watchedShelf(state, presenter);
    if (!shelf)
        return;
    size_t items = 0;
    for (auto _ : state)
        items = kelo::Shelf::rebuilt(shelf->query().found(), false).size();
    if (items != tree().files().size())
        state.SkipWithError("the shelf did not hold every file");
}
BENCHMARK(shelfFromIndexDates)->Unit(benchmark::kMillisecond)->UseRealTime();

// Kelo comes to the front with nothing changed: the work it does on the GUI thread.
void shelfOnActivation(benchmark::State &state) {
    NoPresenter presenter;
    const auto shelf = watchedShelf(state, presenter);
    if (!shelf)
        return;
    for (auto _ : state)
        shelf->applicationStateChanged(Qt::ApplicationActive);
    if (shelf->items().size() != tree().files().size())
        state.SkipWithError("the shelf did not hold every file");
}
BENCHMARK(shelfOnActivation)->Unit(benchmark::kMillisecond)->UseRealTime();

void fullPathAttributeLoop(benchmark::State &state) {
    char value[64];
    for (auto _ : state)
        for (const auto &file : tree().files())
            benchmark::DoNotOptimize(
                ::getxattr(file.c_str(), kelo::stampAttributeName, value, sizeof value));
}
BENCHMARK(fullPathAttributeLoop)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv) {
    QCoreApplication application(argc, argv);
    tree();
    return kelo::bench::runBenchmarks(
        argc, argv,
        {{"shelfReload/real_time", "fullPathAttributeLoop/real_time"},
         {"shelfFromIndexDates/real_time", "fullPathAttributeLoop/real_time"},
         {"shelfOnActivation/real_time", "fullPathAttributeLoop/real_time"}});
}
