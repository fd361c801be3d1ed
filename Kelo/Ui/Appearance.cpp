#include "Appearance.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>

#include <memory>

namespace kelo {

QPalette lightPalette() {
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    return fusion ? fusion->standardPalette() : QPalette();
}

QPalette darkPalette() {
    const QColor window(0x1e, 0x1e, 0x1e);
    const QColor base(0x24, 0x24, 0x24);
    const QColor alternateBase(0x2b, 0x2b, 0x2b);
    const QColor button(0x2d, 0x2d, 0x2d);
    const QColor text(0xe6, 0xe6, 0xe6);
    const QColor disabledText(0x7a, 0x7a, 0x7a);
    const QColor highlight(0x35, 0x74, 0xc4);

    QPalette palette;
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, alternateBase);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::BrightText, Qt::white);
    palette.setColor(QPalette::PlaceholderText, QColor(0x8c, 0x8c, 0x8c));
    palette.setColor(QPalette::Button, button);
    palette.setColor(QPalette::ButtonText, text);
    // The bevel colours Fusion draws frames and separators with.
    palette.setColor(QPalette::Light, QColor(0x48, 0x48, 0x48));
    palette.setColor(QPalette::Midlight, QColor(0x3a, 0x3a, 0x3a));
    palette.setColor(QPalette::Mid, QColor(0x33, 0x33, 0x33));
    palette.setColor(QPalette::Dark, QColor(0x14, 0x14, 0x14));
    palette.setColor(QPalette::Shadow, QColor(0x05, 0x05, 0x05));
    palette.setColor(QPalette::Highlight, highlight);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, QColor(0x6c, 0xb0, 0xf5));
    palette.setColor(QPalette::LinkVisited, QColor(0xb3, 0x94, 0xf0));
    palette.setColor(QPalette::ToolTipBase, QColor(0x33, 0x33, 0x33));
    palette.setColor(QPalette::ToolTipText, text);

    palette.setColor(QPalette::Disabled, QPalette::WindowText, disabledText);
    palette.setColor(QPalette::Disabled, QPalette::Text, disabledText);
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, disabledText);
    palette.setColor(QPalette::Disabled, QPalette::PlaceholderText, QColor(0x5c, 0x5c, 0x5c));
    palette.setColor(QPalette::Disabled, QPalette::Base, window);
    palette.setColor(QPalette::Disabled, QPalette::Button, QColor(0x26, 0x26, 0x26));
    palette.setColor(QPalette::Disabled, QPalette::Highlight, QColor(0x3a, 0x3a, 0x3a));
    palette.setColor(QPalette::Disabled, QPalette::HighlightedText, QColor(0x9a, 0x9a, 0x9a));
    palette.setColor(QPalette::Disabled, QPalette::Link, QColor(0x5a, 0x6e, 0x85));
    palette.setColor(QPalette::Disabled, QPalette::BrightText, disabledText);

    // A window in the background keeps its colours; only the selection goes quieter.
    palette.setColor(QPalette::Inactive, QPalette::Highlight, QColor(0x2e, 0x4a, 0x6e));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText, text);
    return palette;
}

void applyAppearance(const QPalette &palette) {
    if (QApplication::style()->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) != 0)
        QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication::setPalette(palette);
}

} // namespace kelo
