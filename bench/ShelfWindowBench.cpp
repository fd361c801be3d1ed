// The shelf list over 100,000 stamped files: building it and showing it until its first paint,
// and repainting what is visible; each against a plain QListWidget of 100,000 text rows.

#include "BenchMain.h"

#include "ErrorPresenter.h"
#include "ExpiryStamp.h"
#include "Shelf.h"
#include "ShelfListView.h"
#include "TagList.h"
#include "TagQuery.h"

#include <QApplication>
#include <QListWidget>
#include <QSignalSpy>

#include <cstdio>
#include <fstream>
#include <memory>

#include <sys/xattr.h>

#include <benchmark/benchmark.h>

namespace {

namespace fs = std::filesystem;

constexpr int fileCount = 100000;
constexpr int filesPerFolder = 1000;
const char *const extensions[] = {".pdf", ".odt", ".jpg", ".txt", ".tar.gz", ".mp3", ""};

class NoPresenter : public kelo::ErrorPresenter {
public:
    void present(const kelo::Error &, const fs::path &) override {}
};

// The stamped files, made once and kept for later runs: empty files with the two attributes,
// due from a month ago to more than a year ahead, so every section is full.
fs::path stampedTree() {
    const fs::path root =
        qEnvironmentVariableIsSet("KELO_WINDOW_BENCH_TREE")
            ? fs::path(qEnvironmentVariable("KELO_WINDOW_BENCH_TREE").toStdString())
            : fs::temp_directory_path() / "kelo-bench-window-tree";
    const fs::path marker = root / ".kelo-window-tree";
    if (fs::exists(marker))
        return root;
    std::printf("making %d stamped files in %s\n", fileCount, root.c_str());
    fs::remove_all(root);
    const kelo::Calendar calendar = kelo::Calendar::current();
    const auto today = calendar.startOfDay(kelo::currentInstant());
    const std::string tags(kelo::stampTagName);
    for (int i = 0; i < fileCount; ++i) {
        const fs::path folder = root / ("map " + std::to_string(i / filesPerFolder));
        if (i % filesPerFolder == 0)
            fs::create_directories(folder);
        const fs::path file = folder / ("bestand " + std::to_string(i) +
                                        extensions[static_cast<size_t>(i) % std::size(extensions)]);
        std::ofstream{file};
        const auto date = calendar.adding(today, kelo::DateComponent::Day, i % 450 - 30);
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

kelo::Shelf &shelf() {
    static NoPresenter presenter;
    static const std::unique_ptr<kelo::Shelf> shelf = [] {
        kelo::TagIndex::Options options;
        options.scope.roots.push_back({stampedTree(), false});
        auto made = std::make_unique<kelo::Shelf>(
            std::make_unique<kelo::TagQuery>(std::move(options)), presenter);
        QSignalSpy loaded(made.get(), &kelo::Shelf::loadedChanged);
        loaded.wait(120000);
        return made;
    }();
    return *shelf;
}

const QStringList &plainTexts() {
    static const QStringList texts = [] {
        QStringList made;
        made.reserve(fileCount);
        for (int i = 0; i < fileCount; ++i)
            made.append(QStringLiteral("bestand %1.pdf — nog %2 dagen").arg(i).arg(i % 450));
        return made;
    }();
    return texts;
}

// Shows the view and returns once its viewport has been painted.
void showUntilPainted(QAbstractItemView &view) {
    struct PaintWatch : QObject {
        bool painted = false;
        bool eventFilter(QObject *, QEvent *event) override {
            painted = painted || event->type() == QEvent::Paint;
            return false;
        }
    } watch;
    view.viewport()->installEventFilter(&watch);
    view.resize(640, 480);
    view.show();
    while (!watch.painted)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    view.viewport()->removeEventFilter(&watch);
}

void checkLoaded(benchmark::State &state) {
    if (static_cast<int>(shelf().items().size()) != fileCount)
        state.SkipWithError("the shelf did not load every file");
}

void shelfListFirstPaint(benchmark::State &state) {
    checkLoaded(state);
    for (auto _ : state) {
        kelo::ShelfListView view(shelf());
        showUntilPainted(view);
        benchmark::DoNotOptimize(view.model()->rowCount());
    }
}
BENCHMARK(shelfListFirstPaint)->Unit(benchmark::kMillisecond)->UseRealTime();

void plainListWidgetFirstPaint(benchmark::State &state) {
    for (auto _ : state) {
        QListWidget view;
        view.addItems(plainTexts());
        showUntilPainted(view);
        benchmark::DoNotOptimize(view.count());
    }
}
BENCHMARK(plainListWidgetFirstPaint)->Unit(benchmark::kMillisecond)->UseRealTime();

void shelfListRepaint(benchmark::State &state) {
    checkLoaded(state);
    kelo::ShelfListView view(shelf());
    showUntilPainted(view);
    for (auto _ : state)
        view.viewport()->repaint();
}
BENCHMARK(shelfListRepaint)->Unit(benchmark::kMicrosecond)->UseRealTime();

void plainListWidgetRepaint(benchmark::State &state) {
    QListWidget view;
    view.addItems(plainTexts());
    showUntilPainted(view);
    for (auto _ : state)
        view.viewport()->repaint();
}
BENCHMARK(plainListWidgetRepaint)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    shelf();
    plainTexts();
    return kelo::bench::runBenchmarks(
        argc, argv,
        {{"shelfListFirstPaint/real_time", "plainListWidgetFirstPaint/real_time"},
         {"shelfListRepaint/real_time", "plainListWidgetRepaint/real_time"}});
}
