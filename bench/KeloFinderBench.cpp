// Stamping a selection of 1,000 files from the file manager's menu, against the floor: the two
// bare attribute writes (date and tag list) per file that any stamping needs.

#include "BenchMain.h"

#include "ExpiryStamp.h"
#include "FinderSync.h"
#include "SelectionController.h"
#include "TagList.h"

#include <filesystem>
#include <fstream>

#include <sys/xattr.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

namespace {

constexpr int fileCount = 1000;

class Selection {
public:
    Selection() {
        m_folder = std::filesystem::temp_directory_path() /
                   ("kelo-bench-selection-" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_folder);
        for (int i = 0; i < fileCount; ++i) {
            m_files.push_back(m_folder / ("bestand-" + std::to_string(i) + ".txt"));
            std::ofstream(m_files.back()) << i;
        }
    }
    ~Selection() { std::filesystem::remove_all(m_folder); }

    const std::vector<std::filesystem::path> &files() const { return m_files; }
    void unstamp() const {
        for (const auto &file : m_files) {
            ::removexattr(file.c_str(), kelo::stampAttributeName);
            ::removexattr(file.c_str(), kelo::tagListAttributeName);
        }
    }

private:
    std::filesystem::path m_folder;
    std::vector<std::filesystem::path> m_files;
};

void pickOneMonthOn1000Files(benchmark::State &state) {
    const Selection selection;
    kelo::SelectionController controller;
    kelo::FinderSync finderSync(controller, [](std::string_view) {});
    controller.select(selection.files());
    kelo::MenuItem month;
    month.action = kelo::MenuAction::pick;
    month.tag = 1;
    for (auto _ : state) {
        state.PauseTiming();
        selection.unstamp();
        state.ResumeTiming();
        if (finderSync.pick(month) != 0)
            state.SkipWithError("a file failed");
    }
}
BENCHMARK(pickOneMonthOn1000Files)->Unit(benchmark::kMillisecond)->UseRealTime();

void bareTwoSetxattrOn1000Files(benchmark::State &state) {
    const Selection selection;
    for (auto _ : state) {
        state.PauseTiming();
        selection.unstamp();
        state.ResumeTiming();
        for (const auto &file : selection.files()) {
            ::setxattr(file.c_str(), kelo::stampAttributeName, "2027-01-06", 10, 0);
            ::setxattr(file.c_str(), kelo::tagListAttributeName, "Kelo", 4, 0);
        }
    }
}
BENCHMARK(bareTwoSetxattrOn1000Files)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv) {
    return kelo::bench::runBenchmarks(
        argc, argv,
        {{"pickOneMonthOn1000Files/real_time", "bareTwoSetxattrOn1000Files/real_time"}});
}
