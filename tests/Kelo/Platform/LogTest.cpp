#include "Log.h"

#include "LogCapture.h"

#include <gtest/gtest.h>

// Control characters are escaped, so that one call is one line; without a sink the line goes to
// standard error (and the system log).
TEST(Log, EachCallIsOneEscapedLineForTheSinkElseForStandardError) {
    {
        const LogCapture capture;
        kelo::log("Kelo: /home/a\nKelo: forged\t\x1b[31m");
        EXPECT_EQ(capture.lines(),
                  std::vector<std::string>{"Kelo: /home/a\\nKelo: forged\\t\\x1b[31m"});
    }
    kelo::LogSink original = kelo::setLogSink(nullptr);
    ::testing::internal::CaptureStderr();
    kelo::log("Kelo: test van het standaardlog\x07");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Kelo: test van het standaardlog\\x07\n");
    kelo::setLogSink(std::move(original));
}
