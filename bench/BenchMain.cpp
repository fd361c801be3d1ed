#include "BenchMain.h"

#include <cstdio>
#include <map>

#include <benchmark/benchmark.h>

namespace kelo::bench {
namespace {

class MedianReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &run : runs)
            if (run.aggregate_name == "median")
                medians[run.run_name.str()] =
                    run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        ConsoleReporter::ReportRuns(runs);
    }

    std::map<std::string, double> medians; // seconds
};

} // namespace

int runBenchmarks(int argc, char **argv, const std::vector<Comparison> &comparisons) {
    std::vector<char *> args(argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=9";
    std::string aggregates = "--benchmark_report_aggregates_only=true";
    // Repetitions of different benchmarks take turns, so that a drifting machine favours none.
    std::string interleave = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, {repetitions.data(), aggregates.data(), interleave.data()});
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data()))
        return 2;

    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    for (const Comparison &comparison : comparisons) {
        const auto subject = reporter.medians.find(comparison.subject);
        const auto peer = reporter.medians.find(comparison.peer);
        if (subject == reporter.medians.end() || peer == reporter.medians.end())
            continue;
        std::printf("median %-40s %12.1f ns\nmedian %-40s %12.1f ns\nratio  %s / %s = %.3f\n\n",
                    comparison.subject.c_str(), subject->second * 1e9, comparison.peer.c_str(),
                    peer->second * 1e9, comparison.subject.c_str(), comparison.peer.c_str(),
                    subject->second / peer->second);
    }
    return 0;
}

} // namespace kelo::bench
