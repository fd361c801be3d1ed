// The tray icon: its count text, the bundled symbols it is drawn from, and how the drawn icon
// reads at panel sizes on light and dark panels. Also leaves a contact sheet of the icon for a
// person to look at (KELO_ICON_SHEET, or tray-icons.png in the build folder).
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
#include <set>
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

QImage over(const QImage &icon, QRgb background) {
    QImage composed(icon.size(), QImage::Format_ARGB32);
    composed.fill(background);
    QPainter painter(&composed);
    painter.drawImage(0, 0, icon);
    painter.end();
    return composed;
}

// The contrast between the icon's drawn pixels, laid over the panel, and the panel itself.
double contrastOn(const QImage &icon, QRgb background) {
    const QImage source = plain(icon);
    const QImage composed = over(icon, background);
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
    if (pixels == 0) {
        return 1.0;
    }
    return contrastRatio(sum / pixels, luminance(background));
}

// The colour of the fully opaque pixels, averaged: the colour the icon is drawn in.
QRgb mainColour(const QImage &icon) {
    const QImage source = plain(icon);
    long long red = 0;
    long long green = 0;
    long long blue = 0;
    long long pixels = 0;
    for (int y = 0; y < source.height(); ++y) {
        for (int x = 0; x < source.width(); ++x) {
            const QRgb pixel = source.pixel(x, y);
            if (qAlpha(pixel) == 255) {
                red += qRed(pixel);
                green += qGreen(pixel);
                blue += qBlue(pixel);
                ++pixels;
            }
        }
    }
    if (pixels == 0) {
        return 0;
    }
    return qRgb(static_cast<int>(red / pixels), static_cast<int>(green / pixels),
                static_cast<int>(blue / pixels));
}

TEST(TrayIconText, ShowsTheCountUpToNinetyNine) {
    EXPECT_EQ(badgeText(-3), QString());
    EXPECT_EQ(badgeText(0), QString());
    EXPECT_EQ(badgeText(1), QStringLiteral("1"));
    EXPECT_EQ(badgeText(12), QStringLiteral("12"));
    EXPECT_EQ(badgeText(99), QStringLiteral("99"));
    EXPECT_EQ(badgeText(100), QStringLiteral("99+"));
    EXPECT_EQ(badgeText(1234), QStringLiteral("99+"));
}

TEST(BundledSymbols, AreAllThereAndLoad) {
    kelo::initKeloResources();
    const std::set<std::string> expected{"calendar.svg",
                                         "clock.fill.svg",
                                         "document.svg",
                                         "ellipsis.circle.svg",
                                         "exclamationmark.circle.fill.svg",
                                         "folder.svg",
                                         "leaf.fill.svg",
                                         "tag.fill.svg",
                                         "tag.svg",
                                         "wex.dorvel.Kelo.svg"};
    std::set<std::string> bundled;
    QDirIterator files(QStringLiteral(":/icons"));
    while (files.hasNext()) {
        const QString path = files.next();
        bundled.insert(files.fileName().toStdString());
        QSvgRenderer renderer(path);
        EXPECT_TRUE(renderer.isValid()) << path.toStdString();
    }
    EXPECT_EQ(bundled, expected);
}

TEST(BundledSymbols, AreSquareAndDrawnInBlackOnly) {
    kelo::initKeloResources();
    const QRegularExpression colour(QStringLiteral("#[0-9a-fA-F]{3,6}\\b"));
    QDirIterator files(QStringLiteral(":/icons"));
    while (files.hasNext()) {
        const QString path = files.next();
        if (files.fileName() == QStringLiteral("wex.dorvel.Kelo.svg")) {
            EXPECT_EQ(QSvgRenderer(path).viewBoxF(), QRectF(0, 0, 64, 64));
            continue;
        }
        EXPECT_EQ(QSvgRenderer(path).viewBoxF(), QRectF(0, 0, 24, 24)) << path.toStdString();
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        for (auto match = colour.globalMatch(text); match.hasNext();) {
            EXPECT_EQ(match.next().captured(), QStringLiteral("#000000")) << path.toStdString();
        }
        // Every symbol draws something, well inside its square.
        const QImage image = renderSymbol(path, 48);
        EXPECT_GT(countIf(image, opaque), 48 * 48 / 20) << path.toStdString();
        for (int i = 0; i < 48; ++i) {
            for (const QPoint edge : {QPoint(i, 0), QPoint(i, 47), QPoint(0, i), QPoint(47, i)}) {
                EXPECT_EQ(qAlpha(image.pixel(edge)), 0)
                    << path.toStdString() << " at " << edge.x() << "," << edge.y();
            }
        }
    }
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

TEST(TrayIconContrast, IdleColourReadsOnLightAndDarkPanels) {
    const QRgb colour = mainColour(trayIconImage(0, 64));
    EXPECT_GE(contrastRatio(luminance(colour), luminance(lightPanel)), 3.0);
    EXPECT_GE(contrastRatio(luminance(colour), luminance(darkPanel)), 3.0);
}

TEST(TrayIconContrast, IdleIconReadsOnLightAndDarkPanels) {
    for (const int size : {16, 22, 24}) {
        const QImage icon = trayIconImage(0, size);
        EXPECT_GE(contrastOn(icon, lightPanel), 2.5) << size;
        EXPECT_GE(contrastOn(icon, darkPanel), 2.5) << size;
    }
}

TEST(TrayIconContrast, ExpiredIconReadsOnLightAndDarkPanels) {
    for (const int size : {16, 22, 24}) {
        const QImage icon = trayIconImage(7, size);
        EXPECT_GE(contrastOn(icon, lightPanel), 2.5) << size;
        EXPECT_GE(contrastOn(icon, darkPanel), 2.5) << size;
    }
    // White digits on the accent.
    const QRgb accent = mainColour(trayIconImage(7, 64));
    EXPECT_GE(contrastRatio(luminance(accent), 1.0), 3.0);
}

TEST(TrayIcon, HasEverySizeAPanelAsksFor) {
    const QIcon icon = trayIcon(5);
    const QList<QSize> sizes = icon.availableSizes();
    for (const int size : {16, 22, 24, 32, 48, 64}) {
        EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
    }
    EXPECT_TRUE(trayIconImage(5, 0).isNull());
}

// Not a check: the icon at 16, 22, 24 and 32 pixels for a few counts, on a light and a dark
// panel, four times enlarged without smoothing.
TEST(TrayIconSheet, IsWrittenForAPersonToLookAt) {
    const std::vector<int> sizes{16, 22, 24, 32};
    const std::vector<long long> counts{0, 1, 12, 1234};
    const std::vector<QRgb> panels{lightPanel, darkPanel};
    constexpr int cell = 40;
    constexpr int zoom = 4;

    QImage sheet(cell * static_cast<int>(counts.size() * panels.size()),
                 cell * static_cast<int>(sizes.size()), QImage::Format_ARGB32);
    QPainter painter(&sheet);
    int column = 0;
    for (const QRgb panel : panels) {
        for (const long long expired : counts) {
            int row = 0;
            for (const int size : sizes) {
                const QRect place(column * cell, row * cell, cell, cell);
                painter.fillRect(place, QColor(panel));
                painter.drawImage(place.x() + (cell - size) / 2, place.y() + (cell - size) / 2,
                                  trayIconImage(expired, size));
                ++row;
            }
            ++column;
        }
    }
    painter.end();

    QString path = qEnvironmentVariable("KELO_ICON_SHEET");
    if (path.isEmpty()) {
        path = QStringLiteral(KELO_DEFAULT_ICON_SHEET);
    }
    const QImage enlarged =
        sheet.scaled(sheet.size() * zoom, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    EXPECT_TRUE(enlarged.save(path, "PNG")) << path.toStdString();
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
