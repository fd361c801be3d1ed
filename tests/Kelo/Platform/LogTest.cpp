#include "Log.h"

#include "LogCapture.h"
#include "TemporaryFolder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

std::string fileText(const std::filesystem::path &file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The sink gets exactly the line, with control characters escaped; setting a sink gives back the
// one before it.
TEST(Log, SinkReceivesTheLineWithControlCharactersEscaped) {
    std::vector<std::string> first;
    const kelo::LogSink original =
        kelo::setLogSink([&first](std::string_view line) { first.emplace_back(line); });
    {
        const LogCapture capture;
        kelo::log("Kelo: /home/a\nKelo: forged\t\x1b[31m");
        EXPECT_EQ(capture.lines(),
                  std::vector<std::string>{"Kelo: /home/a\\nKelo: forged\\t\\x1b[31m"});
    }
    kelo::log("naar de eerste");
    kelo::setLogSink(original);
    EXPECT_EQ(first, std::vector<std::string>{"naar de eerste"});
}

TEST(Log, NoSinkMeansStandardErrorAndTheSystemLog) {
    const TemporaryFolder folder;
    const auto errorFile = folder.path() / "stderr";
    const int saved = ::dup(STDERR_FILENO);
    const int redirected = ::open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(saved, 0);
    ASSERT_GE(redirected, 0);
    std::fflush(stderr);
    ::dup2(redirected, STDERR_FILENO);
    ::close(redirected);

    kelo::LogSink previous = kelo::setLogSink(nullptr);
    kelo::log("Kelo: test van het standaardlog\x07");
    kelo::setLogSink(std::move(previous));

    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    EXPECT_EQ(fileText(errorFile), "Kelo: test van het standaardlog\\x07\n");
}

} // namespace
