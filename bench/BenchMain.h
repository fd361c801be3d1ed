#pragma once

#include <string>
#include <vector>

namespace kelo::bench {

// A benchmark and the peer it is measured against in the same run.
struct Comparison {
    std::string subject;
    std::string peer;
};

// Runs the registered benchmarks with repetitions (unless the command line sets them), prints
// the median of each, then the ratio subject/peer of the medians for every comparison.
int runBenchmarks(int argc, char **argv, const std::vector<Comparison> &comparisons);

} // namespace kelo::bench
