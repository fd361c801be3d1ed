// The review opening over 100, 10,000 and 100,000 expired files: building the sheet and showing
// it until its list is first painted. Against itself at 100 files, against a plain QTreeWidget
// of as many checkable text rows in as many folders, and against what it asks of the shelf.

#include "BenchMain.h"

#include "DiskUsage.h"
#include "ErrorPresenter.h"
#include "ExpiryStamp.h"
#include "ReviewListView.h"
#include "ReviewSheet.h"
#include "Shelf.h"
#include "ShelfOrder.h"
#include "TagList.h"
#include "TagQuery.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTreeWidget>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>

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
    }
    return *made;
}

// Shows the window and returns once `painted` has been painted.
void showUntilPainted(QWidget &window, QWidget &painted) {
    struct PaintWatch : QObject {
        bool seen = false;
        bool eventFilter(QObject *, QEvent *event) override {
            seen = seen || event->type() == QEvent::Paint;
            return false;
        }
    } watch;
    painted.installEventFilter(&watch);
    window.show();
    while (!watch.seen)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    painted.removeEventFilter(&watch);
}

void reviewOpen(benchmark::State &state) {
    const auto count = static_cast<int>(state.range(0));
    kelo::Shelf &expired = shelf(count);
    if (static_cast<int>(expired.items(kelo::Freshness::expired).size()) != count)
        state.SkipWithError("the shelf did not load every expired file");
    for (auto _ : state) {
        auto sheet = std::make_unique<kelo::ReviewSheet>(expired);
        showUntilPainted(*sheet, *sheet->view().viewport());
        benchmark::DoNotOptimize(sheet->tickedCount());
        state.PauseTiming();
        sheet.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(reviewOpen)
    ->Arg(100)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// What the review asks of the shelf when it opens, alone: the expired files by folder
// (Shelf::items, folderGroups) and their sizes wanted from the disk usage.
void reviewInputs(benchmark::State &state) {
    const auto count = static_cast<int>(state.range(0));
    kelo::Shelf &expired = shelf(count);
    for (auto _ : state) {
        QObject consumer;
        std::vector<fs::path> files;
        for (kelo::Shelf::Item &item : expired.items(kelo::Freshness::expired))
            files.push_back(std::move(item.url));
        benchmark::DoNotOptimize(kelo::folderGroups(files));
        expired.diskUsage().want(&consumer, files);
        state.PauseTiming();
        expired.diskUsage().want(&consumer, {});
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(reviewInputs)
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
        QCoreApplication::processEvents();
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
    return kelo::bench::runBenchmarks(
        argc, argv,
        {{"reviewOpen/10000/real_time", "reviewOpen/100/real_time"},
         {"reviewOpen/100000/real_time", "reviewOpen/100/real_time"},
         {"reviewOpen/100/real_time", "plainTreeWidgetOpen/100/real_time"},
         {"reviewOpen/10000/real_time", "plainTreeWidgetOpen/10000/real_time"},
         {"reviewOpen/100000/real_time", "plainTreeWidgetOpen/100000/real_time"},
         {"reviewOpen/10000/real_time", "reviewInputs/10000/real_time"},
         {"reviewOpen/100000/real_time", "reviewInputs/100000/real_time"}});
}
