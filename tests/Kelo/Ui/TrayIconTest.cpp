// The tray icon: its count text, the bundled symbols it is drawn from, and how the drawn icon
// reads at panel sizes on light and dark panels.
#include "Resources.h"
#include "TrayIconPainter.h"

#include <QDirIterator>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QSvgRenderer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <tuple>
#include <vector>

namespace {

using kelo::badgeText;
using kelo::trayIcon;
using kelo::trayIconImage;

constexpr QRgb lightPanel = qRgb(0xff, 0xff, 0xff);
constexpr QRgb darkPanel = qRgb(0x20, 0x20, 0x20);

double linear(int channel) {
    const double c = channel / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(QRgb colour) {
    return 0.2126 * linear(qRed(colour)) + 0.7152 * linear(qGreen(colour)) +
           0.0722 * linear(qBlue(colour));
}

double contrastRatio(double a, double b) {
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

// Pixels as plain (not premultiplied) ARGB.
QImage plain(const QImage &image) {
    return image.convertToFormat(QImage::Format_ARGB32);
}

bool opaque(QRgb pixel) {
    return qAlpha(pixel) >= 128;
}

// The count's white, give or take the edge of a glyph.
bool countPixel(QRgb pixel) {
    return qAlpha(pixel) >= 200 && std::min({qRed(pixel), qGreen(pixel), qBlue(pixel)}) >= 200;
}

bool accentPixel(QRgb pixel) {
    constexpr int tolerance = 12;
    return qAlpha(pixel) >= 250 && std::abs(qRed(pixel) - 0xd8) <= tolerance &&
           std::abs(qGreen(pixel) - 0x43) <= tolerance &&
           std::abs(qBlue(pixel) - 0x15) <= tolerance;
}

int countIf(const QImage &image, bool (*test)(QRgb)) {
    int found = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            found += test(image.pixel(x, y)) ? 1 : 0;
        }
    }
    return found;
}

QImage renderSymbol(const QString &path, int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(path);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, size, size));
    painter.end();
    return image;
}

// The contrast between the icon's drawn pixels, laid over the panel, and the panel itself.
double contrastOn(const QImage &icon, QRgb background) {
    const QImage source = plain(icon);
    QImage composed(icon.size(), QImage::Format_ARGB32);
    composed.fill(background);
    QPainter(&composed).drawImage(0, 0, icon);
    double sum = 0;
    int pixels = 0;
    for (int y = 0; y < icon.height(); ++y) {
        for (int x = 0; x < icon.width(); ++x) {
            if (opaque(source.pixel(x, y))) {
                sum += luminance(composed.pixel(x, y));
                ++pixels;
            }
        }
    }
    return pixels == 0 ? 1.0 : contrastRatio(sum / pixels, luminance(background));
}

// The luminance of the fully opaque pixels' average colour: the colour the icon is drawn in.
double mainLuminance(const QImage &icon) {
    const QImage source = plain(icon);
    long long sum[3] = {}, pixels = 0;
    for (int y = 0; y < source.height(); ++y) {
        for (int x = 0; x < source.width(); ++x) {
            const QRgb pixel = source.pixel(x, y);
            if (qAlpha(pixel) == 255) {
                sum[0] += qRed(pixel), sum[1] += qGreen(pixel), sum[2] += qBlue(pixel);
                ++pixels;
            }
        }
    }
    const auto mean = [&](int i) { return pixels == 0 ? 0 : static_cast<int>(sum[i] / pixels); };
    return luminance(qRgb(mean(0), mean(1), mean(2)));
}

TEST(TrayIconText, ShowsTheCountUpToNinetyNine) {
    const std::pair<long long, const char *> cases[] = {
        {-3, ""}, {0, ""}, {1, "1"}, {12, "12"}, {99, "99"}, {100, "99+"}, {1234, "99+"}};
    for (const auto &[expired, text] : cases)
        EXPECT_EQ(badgeText(expired), QString::fromLatin1(text)) << expired;
}

// Every bundled symbol loads, and the symbols are square, black only, and draw something well
// inside their square.
TEST(BundledSymbols, AreAllThereSquareAndDrawnInBlackOnly) {
    kelo::initKeloResources();
    const std::string expected = "calendar.svg clock.fill.svg document.svg ellipsis.circle.svg "
                                 "exclamationmark.circle.fill.svg folder.svg leaf.fill.svg "
                                 "tag.fill.svg tag.svg wex.dorvel.Kelo.svg";
    QStringList bundled;
    const QRegularExpression colour(QStringLiteral("#[0-9a-fA-F]{3,6}\\b"));
    for (QDirIterator files(QStringLiteral(":/icons")); files.hasNext();) {
        const QString path = files.next();
        SCOPED_TRACE(path.toStdString());
        bundled.append(files.fileName());
        const QSvgRenderer renderer(path);
        EXPECT_TRUE(renderer.isValid());
        if (files.fileName() == QStringLiteral("wex.dorvel.Kelo.svg")) {
            EXPECT_EQ(renderer.viewBoxF(), QRectF(0, 0, 64, 64));
            continue;
        }
        EXPECT_EQ(renderer.viewBoxF(), QRectF(0, 0, 24, 24));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        for (auto match = colour.globalMatch(text); match.hasNext();)
            EXPECT_EQ(match.next().captured(), QStringLiteral("#000000"));
        const QImage image = renderSymbol(path, 48);
        EXPECT_GT(countIf(image, opaque), 48 * 48 / 20);
        for (int i = 0; i < 48; ++i) {
            for (const QPoint edge : {QPoint(i, 0), QPoint(i, 47), QPoint(0, i), QPoint(47, i)})
                EXPECT_EQ(qAlpha(image.pixel(edge)), 0) << edge.x() << "," << edge.y();
        }
    }
    bundled.sort();
    EXPECT_EQ(bundled.join(u' ').toStdString(), expected);
}

class TrayIconImage : public ::testing::TestWithParam<std::tuple<int, long long>> {};

TEST_P(TrayIconImage, IsLegibleAndStaysInside) {
    const auto [size, expired] = GetParam();
    const QImage icon = trayIconImage(expired, size);
    ASSERT_EQ(icon.size(), QSize(size, size));
    const QImage source = plain(icon);
    const int covered = countIf(source, opaque);
    EXPECT_GT(covered, size * size / 10);

    const int outlineCovered = countIf(plain(trayIconImage(0, size)), opaque);
    if (expired == 0) {
        EXPECT_EQ(countIf(source, countPixel), 0);
        EXPECT_EQ(countIf(source, accentPixel), 0);
        return;
    }
    // The filled tag covers much more than the outline.
    EXPECT_GT(covered, outlineCovered * 3 / 2);
    EXPECT_GT(countIf(source, accentPixel), size * size / 4);
    EXPECT_GE(countIf(source, countPixel), 3);

    // The count is drawn on the tag, and no part of it touches the icon's edge.
    const QImage tag = renderSymbol(QStringLiteral(":/icons/tag.fill.svg"), size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            if (!countPixel(source.pixel(x, y))) {
                continue;
            }
            EXPECT_GE(qAlpha(tag.pixel(x, y)), 128) << "count outside the tag at " << x << "," << y;
            EXPECT_TRUE(x > 0 && y > 0 && x < size - 1 && y < size - 1)
                << "count on the edge at " << x << "," << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(PanelSizes, TrayIconImage,
                         ::testing::Combine(::testing::Values(16, 22, 24),
                                            ::testing::Values(0LL, 1LL, 12LL, 1234LL)));

TEST(TrayIconContrast, IdleAndExpiredIconsReadOnLightAndDarkPanels) {
    for (const QRgb panel : {lightPanel, darkPanel}) {
        EXPECT_GE(contrastRatio(mainLuminance(trayIconImage(0, 64)), luminance(panel)), 3.0);
        for (const int size : {16, 22, 24}) {
            for (const long long expired : {0, 7})
                EXPECT_GE(contrastOn(trayIconImage(expired, size), panel), 2.5)
                    << size << " " << expired;
        }
    }
    // White digits on the accent.
    EXPECT_GE(contrastRatio(mainLuminance(trayIconImage(7, 64)), 1.0), 3.0);
}

TEST(TrayIcon, HasEverySizeAPanelAsksFor) {
    const QList<QSize> sizes = trayIcon(5).availableSizes();
    for (const int size : {16, 22, 24, 32, 48, 64})
        EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
    EXPECT_TRUE(trayIconImage(5, 0).isNull());
}

} // namespace

int main(int argc, char **argv) {
    // Painting needs a GUI application; without a display, the offscreen platform will do.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
