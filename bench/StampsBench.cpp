// What the calendar and stamp services cost in the loops that call them: the time zone taken
// afresh at every call against ICU's own host detection, and reading a stamp against the bare
// attribute read underneath it.

#include "BenchMain.h"

#include "Calendar.h"
#include "ExpiryStamp.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <sys/xattr.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

namespace {

void unsetTz() {
    ::unsetenv("TZ");
}

void currentTimeZone(benchmark::State &state) {
    unsetTz();
    for (auto _ : state)
        benchmark::DoNotOptimize(kelo::currentTimeZone());
}
BENCHMARK(currentTimeZone);

void icuDetectHostTimeZone(benchmark::State &state) {
    unsetTz();
    for (auto _ : state) {
        std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::detectHostTimeZone());
        benchmark::DoNotOptimize(zone.get());
    }
}
BENCHMARK(icuDetectHostTimeZone);

void calendarCurrent(benchmark::State &state) {
    unsetTz();
    for (auto _ : state)
        benchmark::DoNotOptimize(kelo::Calendar::current());
}
BENCHMARK(calendarCurrent);

class StampedFile {
public:
    StampedFile() {
        m_path =
            std::filesystem::temp_directory_path() / ("kelo-bench-" + std::to_string(::getpid()));
        std::ofstream(m_path) << "x";
        kelo::writeStamp(kelo::currentInstant(), m_path);
    }
    ~StampedFile() { std::filesystem::remove(m_path); }
    const std::filesystem::path &path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

void readStamp(benchmark::State &state) {
    const StampedFile file;
    const kelo::Calendar calendar = kelo::Calendar::current();
    for (auto _ : state)
        benchmark::DoNotOptimize(kelo::readStamp(file.path(), calendar));
}
BENCHMARK(readStamp);

void bareGetxattr(benchmark::State &state) {
    const StampedFile file;
    char buffer[64];
    for (auto _ : state)
        benchmark::DoNotOptimize(
            ::getxattr(file.path().c_str(), kelo::stampAttributeName, buffer, sizeof buffer));
}
BENCHMARK(bareGetxattr);

} // namespace

int main(int argc, char **argv) {
    return kelo::bench::runBenchmarks(argc, argv,
                                      {{"currentTimeZone", "icuDetectHostTimeZone"},
                                       {"calendarCurrent", "icuDetectHostTimeZone"},
                                       {"readStamp", "bareGetxattr"}});
}
