// The tray icon as a panel shows it: the count it carries, visible on light and dark panels at
// panel sizes, the count readable on the tag and nothing cut off; and the bundled symbols it and
// the window are drawn from.
#include "Resources.h"
#include "Symbols.h"
#include "TrayIconPainter.h"

#include <QDirIterator>
#include <QFile>
#include <QPainter>
#include <QRegularExpression>
#include <QSvgRenderer>

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <tuple>

namespace {

using kelo::trayIconImage;

constexpr QRgb panels[] = {qRgb(0xff, 0xff, 0xff), qRgb(0x20, 0x20, 0x20)};

double luminance(QRgb colour) {
    const auto linear = [](int channel) {
        const double c = channel / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(qRed(colour)) + 0.7152 * linear(qGreen(colour)) +
           0.0722 * linear(qBlue(colour));
}

double contrast(double a, double b) {
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

TEST(TrayIcon, ShowsTheCountUpToNinetyNineInEverySizeAPanelAsksFor) {
    const std::pair<long long, const char *> cases[] = {
        {-3, ""}, {0, ""}, {1, "1"}, {12, "12"}, {99, "99"}, {100, "99+"}, {1234, "99+"}};
    for (const auto &[expired, text] : cases)
        EXPECT_EQ(kelo::badgeText(expired), QString::fromLatin1(text)) << expired;
    const QList<QSize> sizes = kelo::trayIcon(5).availableSizes();
    for (const int size : {16, 22, 24, 32, 48, 64})
        EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
    EXPECT_TRUE(trayIconImage(5, 0).isNull());
}

// The colours, at a size without blur: the outline reads on either panel, white digits on the
// accent.
TEST(TrayIcon, ColoursStandOut) {
    const auto drawnIn = [](const QImage &icon) {
        std::map<QRgb, int> opaque;
        const QImage pixels = icon.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < pixels.height(); ++y)
            for (int x = 0; x < pixels.width(); ++x)
                opaque[pixels.pixel(x, y)] += qAlpha(pixels.pixel(x, y)) == 255 ? 1 : 0;
        return std::max_element(opaque.begin(), opaque.end(),
                                [](auto a, auto b) { return a.second < b.second; })
            ->first;
    };
    for (const QRgb panel : panels)
        EXPECT_GE(contrast(luminance(drawnIn(trayIconImage(0, 64))), luminance(panel)), 3.0);
    EXPECT_GE(contrast(luminance(drawnIn(trayIconImage(7, 64))), 1.0), 3.0);
}

class TrayIconImage : public ::testing::TestWithParam<std::tuple<int, long long>> {};

// Visible on light and dark panels; the outline while nothing has expired, else the tag filled
// with the accent and the count in white on it, clear of the icon's edge.
TEST_P(TrayIconImage, ReadsOnLightAndDarkPanelsWithTheCountOnTheTag) {
    const auto [size, expired] = GetParam();
    const QImage icon = trayIconImage(expired, size).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(icon.size(), QSize(size, size));
    for (const QRgb panel : panels) {
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
        EXPECT_GT(drawn, size * size / 10);
        EXPECT_GE(contrast(sum / std::max(drawn, 1), luminance(panel)), 2.5) << qRed(panel);
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
                         ::testing::Combine(::testing::Values(16, 22, 24),
                                            ::testing::Values(0LL, 1LL, 12LL, 1234LL)));

// Every bundled symbol is there, square, drawn in black only (the colour is laid on its shape),
// and well inside its square, so that nothing of it is cut off.
TEST(BundledSymbols, AreAllThereSquareBlackAndInside) {
    kelo::initKeloResources();
    QStringList bundled;
    const QRegularExpression colour(QStringLiteral("#[0-9a-fA-F]{3,6}\\b"));
    for (QDirIterator files(QStringLiteral(":/icons")); files.hasNext();) {
        const QString path = files.next();
        bundled.append(files.fileName());
        SCOPED_TRACE(path.toStdString());
        const bool appIcon = files.fileName() == QStringLiteral("wex.dorvel.Kelo.svg");
        EXPECT_EQ(QSvgRenderer(path).viewBoxF(),
                  appIcon ? QRectF(0, 0, 64, 64) : QRectF(0, 0, 24, 24));
        if (appIcon)
            continue;
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        for (auto match = colour.globalMatch(QString::fromUtf8(file.readAll())); match.hasNext();)
            EXPECT_EQ(match.next().captured(), QStringLiteral("#000000"));
        const QImage image = kelo::symbolImage(files.fileName().chopped(4), 48, Qt::black);
        int drawn = 0, onEdge = 0;
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 48; ++x) {
                drawn += qAlpha(image.pixel(x, y)) >= 128 ? 1 : 0;
                onEdge += (x % 47 == 0 || y % 47 == 0) && qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
            }
        EXPECT_GT(drawn, 48 * 48 / 20);
        EXPECT_EQ(onEdge, 0);
    }
    bundled.sort();
    EXPECT_EQ(bundled.join(u' ').toStdString(),
              "calendar.svg clock.fill.svg document.svg ellipsis.circle.svg "
              "exclamationmark.circle.fill.svg folder.svg leaf.fill.svg tag.fill.svg tag.svg "
              "wex.dorvel.Kelo.svg");
}

} // namespace
