// The tray icon as a panel shows it: the count it carries, visible on light and dark panels at
// panel sizes, the count readable on the tag and nothing cut off.
#include "Symbols.h"
#include "TrayIconPainter.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

namespace {

using kelo::trayIconImage;

double luminance(QRgb colour) {
    const auto linear = [](int channel) {
        const double c = channel / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(qRed(colour)) + 0.7152 * linear(qGreen(colour)) +
           0.0722 * linear(qBlue(colour));
}

TEST(TrayIcon, ShowsTheCountUpToNinetyNineInEverySizeAPanelAsksFor) {
    const std::pair<long long, const char *> cases[] = {
        {-3, ""}, {0, ""}, {99, "99"}, {100, "99+"}};
    for (const auto &[expired, text] : cases)
        EXPECT_EQ(kelo::badgeText(expired), QString::fromLatin1(text)) << expired;
    const QList<QSize> sizes = kelo::trayIcon(5).availableSizes();
    for (const int size : {16, 22, 24, 32, 48, 64})
        EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
}

class TrayIconImage : public ::testing::TestWithParam<std::tuple<int, long long>> {};

// Visible on light and dark panels; the outline while nothing has expired, else the tag filled
// with the accent and the count in white on it, clear of the icon's edge.
TEST_P(TrayIconImage, ReadsOnLightAndDarkPanelsWithTheCountOnTheTag) {
    const auto [size, expired] = GetParam();
    const QImage icon = trayIconImage(expired, size).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(icon.size(), QSize(size, size));
    for (const QRgb panel : {qRgb(0xff, 0xff, 0xff), qRgb(0x20, 0x20, 0x20)}) {
        // The drawn pixels laid over the panel, on average, against the panel.
        QImage composed(icon.size(), QImage::Format_ARGB32);
        composed.fill(panel);
        QPainter(&composed).drawImage(0, 0, icon);
        double sum = 0;
        int drawn = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                if (qAlpha(icon.pixel(x, y)) >= 128)
                    sum += luminance(composed.pixel(x, y)), ++drawn;
        const double mean = sum / std::max(drawn, 1), back = luminance(panel);
        EXPECT_GT(drawn, size * size / 10);
        EXPECT_GE((std::max(mean, back) + 0.05) / (std::min(mean, back) + 0.05), 2.5)
            << qRed(panel);
    }
    const QImage tag = kelo::symbolImage("tag.fill", size, Qt::black);
    int accent = 0, count = 0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const QRgb pixel = icon.pixel(x, y);
            accent += qAlpha(pixel) >= 250 && std::abs(qRed(pixel) - 0xd8) <= 12 &&
                      std::abs(qGreen(pixel) - 0x43) <= 12 && std::abs(qBlue(pixel) - 0x15) <= 12;
            if (qAlpha(pixel) < 200 || std::min({qRed(pixel), qGreen(pixel), qBlue(pixel)}) < 200)
                continue;
            ++count;
            EXPECT_GE(qAlpha(tag.pixel(x, y)), 128) << "count outside the tag at " << x << "," << y;
            EXPECT_TRUE(x > 0 && y > 0 && x < size - 1 && y < size - 1)
                << "count on the edge at " << x << "," << y;
        }
    }
    EXPECT_EQ(accent > size * size / 4, expired > 0) << accent;
    EXPECT_EQ(count >= 3, expired > 0) << count;
}

INSTANTIATE_TEST_SUITE_P(PanelSizes, TrayIconImage,
                         ::testing::Combine(::testing::Values(16, 22),
                                            ::testing::Values(0LL, 1LL, 1234LL)));

} // namespace
