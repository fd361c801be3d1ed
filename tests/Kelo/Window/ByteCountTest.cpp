#include "ByteCount.h"

#include <gtest/gtest.h>

#include <limits>

using kelo::byteCountText;

namespace {

const QLocale dutch(QLocale::Dutch, QLocale::Netherlands);
const QLocale english(QLocale::English, QLocale::UnitedStates);

} // namespace

TEST(ByteCountTest, SmallCountsAreWrittenInBytes) {
    EXPECT_EQ(byteCountText(0, dutch), "0 bytes");
    EXPECT_EQ(byteCountText(1, dutch), "1 byte");
    EXPECT_EQ(byteCountText(999, dutch), "999 bytes");
    EXPECT_EQ(byteCountText(0, english), "0 bytes");
    EXPECT_EQ(byteCountText(999, english), "999 bytes");
}

TEST(ByteCountTest, NegativeCountsReadAsZero) {
    EXPECT_EQ(byteCountText(-1, dutch), "0 bytes");
    EXPECT_EQ(byteCountText(std::numeric_limits<qint64>::min(), dutch), "0 bytes");
}

TEST(ByteCountTest, KilobytesHaveNoDecimals) {
    EXPECT_EQ(byteCountText(1000, dutch), "1 kB");
    EXPECT_EQ(byteCountText(1499, dutch), "1 kB");
    EXPECT_EQ(byteCountText(1500, dutch), "2 kB");
    EXPECT_EQ(byteCountText(999'499, dutch), "999 kB");
    EXPECT_EQ(byteCountText(999'499, english), "999 kB");
}

TEST(ByteCountTest, RoundingFirstMayMoveToTheNextUnit) {
    EXPECT_EQ(byteCountText(999'500, dutch), "1 MB");
    EXPECT_EQ(byteCountText(999'999, dutch), "1 MB");
    EXPECT_EQ(byteCountText(999'949'999, dutch), "999,9 MB");
    EXPECT_EQ(byteCountText(999'950'000, dutch), "1 GB");
    EXPECT_EQ(byteCountText(999'995'000'000, english), "1 TB");
}

TEST(ByteCountTest, MegabytesHaveOneDecimalAndGigabytesTwo) {
    EXPECT_EQ(byteCountText(1'000'000, dutch), "1 MB");
    EXPECT_EQ(byteCountText(4'200'000, dutch), "4,2 MB");
    EXPECT_EQ(byteCountText(4'200'000, english), "4.2 MB");
    EXPECT_EQ(byteCountText(4'249'999, dutch), "4,2 MB");
    EXPECT_EQ(byteCountText(4'250'000, dutch), "4,3 MB");
    EXPECT_EQ(byteCountText(1'234'567'890, dutch), "1,23 GB");
    EXPECT_EQ(byteCountText(1'234'567'890, english), "1.23 GB");
    EXPECT_EQ(byteCountText(1'200'000'000, dutch), "1,2 GB");
    EXPECT_EQ(byteCountText(2'000'000'000, dutch), "2 GB");
    EXPECT_EQ(byteCountText(12'345'678'901'234, dutch), "12,35 TB");
}

TEST(ByteCountTest, TheLargestCountFits) {
    EXPECT_EQ(byteCountText(std::numeric_limits<qint64>::max(), english), "9.22 EB");
}
