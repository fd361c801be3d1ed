// Every coloured text of the window against what it is drawn on, in both appearances: the
// freshness colours of the badges, days left and headings, the secondary texts, the links and
// the focus ring. Prints the table of ratios it checks.
#include "Appearance.h"
#include "FreshnessStyle.h"

#include <QApplication>

#include <cstdio>

#include <gtest/gtest.h>

using namespace kelo;

namespace {

// A translucent colour as it is seen over an opaque one.
QColor over(const QColor &top, const QColor &bottom) {
    const float a = top.alphaF();
    return QColor::fromRgbF(top.redF() * a + bottom.redF() * (1 - a),
                            top.greenF() * a + bottom.greenF() * (1 - a),
                            top.blueF() * a + bottom.blueF() * (1 - a));
}

// Body text needs 4.5:1, large bold headings and what is not text (the focus ring) 3:1.
constexpr double text = 4.5;
constexpr double large = 3.0;

} // namespace

TEST(Contrast, EveryColouredTextIsReadableInBothAppearances) {
    EXPECT_NEAR(contrastRatio(Qt::black, Qt::white), 21.0, 1e-9);
    EXPECT_NEAR(contrastRatio(QColor(0, 0, 0, 0), Qt::white), 1.0, 1e-9);
    int failures = 0;
    std::printf("%-22s %-6s %-14s %7s %8s\n", "colour", "look", "background", "ratio", "required");
    for (const bool dark : {false, true}) {
        const QPalette palette = dark ? darkPalette() : lightPalette();
        const QColor list = palette.color(QPalette::Base);
        const QColor window = palette.color(QPalette::Window);
        const QColor selected = over(rowHighlight(palette), list);
        const struct {
            QString colour;
            QColor color;
            const char *backgroundName;
            QColor background;
            double required;
        } cases[] = {
            {"expired", freshnessColor(Freshness::expired, dark), "list", list, text},
            {"expired", freshnessColor(Freshness::expired, dark), "selected row", selected, text},
            {"thisWeek", freshnessColor(Freshness::thisWeek, dark), "list", list, text},
            {"thisWeek", freshnessColor(Freshness::thisWeek, dark), "selected row", selected, text},
            {"thisMonth", freshnessColor(Freshness::thisMonth, dark), "list", list, text},
            {"thisMonth", freshnessColor(Freshness::thisMonth, dark), "selected row", selected,
             text},
            {"fresh", freshnessColor(Freshness::fresh, dark), "list", list, text},
            {"fresh", freshnessColor(Freshness::fresh, dark), "selected row", selected, text},
            {"review title", freshnessColor(Freshness::expired, dark), "window", window, large},
            {"secondary text", secondaryTextColor(palette), "list", list, text},
            {"secondary text", secondaryTextColor(palette), "selected row", selected, text},
            {"secondary text", secondaryTextColor(palette), "window", window, text},
            {"link", palette.color(QPalette::Link), "list", list, text},
            {"link", palette.color(QPalette::Link), "window", window, text},
            {"focus ring", palette.color(QPalette::Highlight), "list", list, large},
            {"focus ring", palette.color(QPalette::Highlight), "window", window, large},
        };
        for (const auto &c : cases) {
            const double ratio = contrastRatio(c.color, c.background);
            std::printf("%-22s %-6s %-14s %7.2f %8.1f%s\n",
                        (c.colour + " " + c.color.name()).toUtf8().constData(),
                        dark ? "dark" : "light", c.backgroundName, ratio, c.required,
                        ratio < c.required ? "  too low" : "");
            EXPECT_GE(ratio, c.required) << c.colour.toStdString() << " on " << c.backgroundName
                                         << (dark ? " (dark)" : " (light)");
            failures += ratio < c.required;
        }
    }
    EXPECT_EQ(failures, 0);
}
