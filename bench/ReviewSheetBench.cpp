// The review opening over 100, 10,000 and 100,000 expired files: building the sheet and showing
// it until it is first painted (the files counted, their list still being grouped), and until
// its list is filled and painted. Against itself at 100 files, against a plain QTreeWidget of as
// many checkable text rows in as many folders, against the grouping alone (done on a worker),
// and the sizes of the listed files asked for once they are all known (done on the GUI thread).

#include "BenchMain.h"

#include "DiskUsage.h"
#include "ErrorPresenter.h"
#include "ExpiryStamp.h"
#include "ReviewList.h"
#include "ReviewListModel.h"
#include "ReviewListView.h"
#include "ReviewSheet.h"
#include "Shelf.h"
#include "ShelfOrder.h"
#include "TagList.h"
#include "TagQuery.h"

#include <QApplication>
#include <QSignalSpy>
#include <QThreadPool>
#include <QTreeWidget>

#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <sys/xattr.h>

#include <benchmark/benchmark.h>

namespace {

namespace fs = std::filesystem;

constexpr int filesPerFolder = 1000;
const char *const extensions[] = {".pdf", ".odt", ".jpg", ".txt", ".tar.gz", ".mp3", ""};

class NoPresenter : public kelo::ErrorPresenter {
public:
    void present(const kelo::Error &, const fs::path &) override {}
};

fs::path fileName(int i) {
    return "bestand " + std::to_string(i) +
           extensions[static_cast<size_t>(i) % std::size(extensions)];
}

// `count` stamped files, all past their date, made once and kept for later runs: small files
// with the two attributes, a thousand to a folder.
fs::path expiredTree(int count) {
    const fs::path base =
        qEnvironmentVariableIsSet("KELO_REVIEW_BENCH_TREE")
            ? fs::path(qEnvironmentVariable("KELO_REVIEW_BENCH_TREE").toStdString())
            : fs::temp_directory_path() / "kelo-bench-review-tree";
    const fs::path root = base / std::to_string(count);
    const fs::path marker = root / ".kelo-review-tree";
    if (fs::exists(marker))
        return root;
    std::printf("making %d expired files in %s\n", count, root.c_str());
    fs::remove_all(root);
    const kelo::Calendar calendar = kelo::Calendar::current();
    const auto today = calendar.startOfDay(kelo::currentInstant());
    const std::string tags(kelo::stampTagName);
    for (int i = 0; i < count; ++i) {
        const fs::path folder = root / ("map " + std::to_string(i / filesPerFolder));
        if (i % filesPerFolder == 0)
            fs::create_directories(folder);
        const fs::path file = folder / fileName(i);
        std::ofstream(file) << "kelo";
        const auto date = calendar.adding(today, kelo::DateComponent::Day, -1 - i % 300);
        const std::string stamp = *calendar.stampText(date);
        if (::setxattr(file.c_str(), kelo::stampAttributeName, stamp.data(), stamp.size(), 0) !=
                0 ||
            ::setxattr(file.c_str(), kelo::tagListAttributeName, tags.data(), tags.size(), 0) !=
                0) {
            std::perror("setxattr");
            std::exit(1);
        }
    }
    std::ofstream{marker};
    return root;
}

kelo::Shelf &shelf(int count) {
    static NoPresenter presenter;
    static std::map<int, std::unique_ptr<kelo::Shelf>> shelves;
    auto &made = shelves[count];
    if (!made) {
        kelo::TagIndex::Options options;
        options.scope.roots.push_back({expiredTree(count), false});
        made = std::make_unique<kelo::Shelf>(std::make_unique<kelo::TagQuery>(std::move(options)),
                                             presenter);
        QSignalSpy loaded(made.get(), &kelo::Shelf::loadedChanged);
        loaded.wait(300000);
        // Each window shown brings Kelo to the front, which reloads the shelf and rescans what
        // the index does not watch: not the review's to pay for, and in the application the
        // shelf window is at the front before the review opens over it.
        QObject::disconnect(qApp, &QGuiApplication::applicationStateChanged, made.get(), nullptr);
    }
    return *made;
}

// Shows the window and returns once `painted` has been painted while `ready` held.
void showUntilPainted(
    QWidget &window, QWidget &painted, const std::function<bool()> &ready = [] { return true; }) {
    struct PaintWatch : QObject {
        const std::function<bool()> *ready = nullptr;
        bool seen = false;
        bool eventFilter(QObject *, QEvent *event) override {
            seen = seen || (event->type() == QEvent::Paint && (*ready)());
            return false;
        }
    } watch;
    watch.ready = &ready;
    painted.installEventFilter(&watch);
    window.show();
    // Waiting as the event loop does, rather than spinning: the grouping has a core to itself,
    // as it would in the application.
    while (!watch.seen)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    painted.removeEventFilter(&watch);
}

// Between runs: what the last sheet left to workers (a grouping it cancelled, a list let go of)
// is done before the next one is timed.
void settle() {
    QCoreApplication::processEvents();
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
}

kelo::Shelf &expiredShelf(benchmark::State &state) {
    const auto count = static_cast<int>(state.range(0));
    kelo::Shelf &expired = shelf(count);
    if (static_cast<int>(expired.run(kelo::Freshness::expired).size()) != count)
        state.SkipWithError("the shelf did not load every expired file");
    return expired;
}

// Until the sheet is first painted: header, footer with the count, and the list being grouped
// (for a small list it may be there already).
void reviewOpen(benchmark::State &state) {
    kelo::Shelf &expired = expiredShelf(state);
    for (auto _ : state) {
        auto sheet = std::make_unique<kelo::ReviewSheet>(expired);
        showUntilPainted(*sheet, *sheet->view().viewport());
        benchmark::DoNotOptimize(sheet->tickedCount());
        state.PauseTiming();
        sheet.reset();
        settle();
        state.ResumeTiming();
    }
}
BENCHMARK(reviewOpen)
    ->Arg(100)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Until the list has every file and has been painted so.
void reviewFilled(benchmark::State &state) {
    kelo::Shelf &expired = expiredShelf(state);
    for (auto _ : state) {
        auto sheet = std::make_unique<kelo::ReviewSheet>(expired);
        const kelo::ReviewListModel &model = sheet->model();
        showUntilPainted(*sheet, *sheet->view().viewport(), [&] { return model.filled(); });
        benchmark::DoNotOptimize(model.fileCount());
        state.PauseTiming();
        if (model.fileCount() != state.range(0))
            state.SkipWithError("the list does not have every expired file");
        sheet.reset();
        settle();
        state.ResumeTiming();
    }
}
BENCHMARK(reviewFilled)
    ->Arg(100)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The worker's share of filling the list, alone: the expired files grouped by folder, placed
// and ticked.
void reviewGrouping(benchmark::State &state) {
    kelo::Shelf &expired = expiredShelf(state);
    const kelo::Shelf::Run run = expired.run(kelo::Freshness::expired);
    for (auto _ : state) {
        auto update = kelo::makeReviewList({run, run, nullptr, nullptr}, {});
        benchmark::DoNotOptimize(update->list->fileCount());
        state.PauseTiming();
        update.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(reviewGrouping)
    ->Arg(100)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The GUI thread's share of asking for the sizes of a filled list: the disk usage, which knows
// them all from before, marks each as to be checked again.
void reviewSizesWanted(benchmark::State &state) {
    kelo::Shelf &expired = expiredShelf(state);
    const kelo::Shelf::Run run = expired.run(kelo::Freshness::expired);
    const auto paths = kelo::makeReviewList({run, run, nullptr, nullptr}, {})->list->paths;
    kelo::DiskUsage &usage = expired.diskUsage();
    {
        QObject first;
        usage.wantShared(&first, paths);
        while (usage.busy())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    for (auto _ : state) {
        QObject consumer;
        usage.wantShared(&consumer, paths);
        state.PauseTiming();
        usage.want(&consumer, {});
        settle();
        state.ResumeTiming();
    }
}
BENCHMARK(reviewSizesWanted)
    ->Arg(100)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The same rows in a QTreeWidget: a checkable row per folder, a checkable row per file with its
// name and a size.
void plainTreeWidgetOpen(benchmark::State &state) {
    const auto count = static_cast<int>(state.range(0));
    for (auto _ : state) {
        auto tree = std::make_unique<QTreeWidget>();
        tree->setHeaderHidden(true);
        tree->setColumnCount(2);
        tree->setUniformRowHeights(true);
        tree->resize(560, 480);
        QTreeWidgetItem *group = nullptr;
        for (int i = 0; i < count; ++i) {
            if (i % filesPerFolder == 0) {
                group = new QTreeWidgetItem(tree.get(),
                                            {QStringLiteral("map %1").arg(i / filesPerFolder)});
                group->setCheckState(0, Qt::Checked);
            }
            auto *file = new QTreeWidgetItem(
                group, {QString::fromStdString(fileName(i).native()), QStringLiteral("4 kB")});
            file->setCheckState(0, Qt::Checked);
        }
        tree->expandAll();
        showUntilPainted(*tree, *tree->viewport());
        benchmark::DoNotOptimize(tree->topLevelItemCount());
        state.PauseTiming();
        tree.reset();
        settle();
        state.ResumeTiming();
    }
}
BENCHMARK(plainTreeWidgetOpen)
    ->Arg(100)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    for (const int count : {100, 10000, 100000})
        shelf(count);

    std::vector<kelo::bench::Comparison> comparisons;
    for (const char *figure : {"reviewOpen", "reviewFilled"}) {
        const std::string name = figure;
        for (const char *count : {"10000", "100000"})
            comparisons.push_back({name + "/" + count + "/real_time", name + "/100/real_time"});
        for (const char *count : {"100", "10000", "100000"})
            comparisons.push_back({name + "/" + count + "/real_time",
                                   std::string("plainTreeWidgetOpen/") + count + "/real_time"});
    }
    for (const char *count : {"10000", "100000"}) {
        comparisons.push_back({std::string("reviewFilled/") + count + "/real_time",
                               std::string("reviewGrouping/") + count + "/real_time"});
        comparisons.push_back({std::string("reviewSizesWanted/") + count + "/real_time",
                               std::string("reviewFilled/") + count + "/real_time"});
    }
    return kelo::bench::runBenchmarks(argc, argv, comparisons);
}
