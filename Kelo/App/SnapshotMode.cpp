#include "SnapshotMode.h"

#include "Appearance.h"
#include "FreshnessStyle.h"
#include "LaunchArguments.h"

#include <QApplication>
#include <QDialog>
#include <QLayout>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QSaveFile>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <cstdio>

namespace kelo {
namespace {

using namespace std::chrono_literals;

constexpr auto appearanceDelay = 500ms;
constexpr auto captureDelay = 4000ms;
// A window still filling in what it shows (the review grouping its files or counting their
// sizes) is given this much longer at most, looked at this often.
constexpr auto settleLimit = 10000ms;
constexpr auto settleInterval = 100ms;

const QString windowTitle = QStringLiteral("Kelo");
constexpr qreal titleBarHeight = 38;
constexpr qreal cornerRadius = 8;

void printError(const QString &message) {
    std::fputs(qPrintable(QStringLiteral("kelo: ") + message + QLatin1Char('\n')), stderr);
    std::fflush(stderr);
}

void quit(int code) {
    // The capture runs from a timer, so the event loop is running; exit() also leaves a nested
    // loop such as a dialog's.
    QCoreApplication::exit(code);
}

QFont scaled(QFont font, qreal factor, bool bold) {
    font.setPointSizeF(font.pointSizeF() * factor);
    font.setBold(bold);
    return font;
}

// The close button at the right end of the title bar: a faint round button with a cross.
void drawCloseButton(QPainter &painter, const QRectF &bar, const QPalette &palette) {
    const qreal diameter = 22;
    const QPointF centre(bar.right() - 10 - diameter / 2, bar.center().y());
    QColor fill = palette.color(QPalette::WindowText);
    fill.setAlphaF(isDark(palette) ? 0.12f : 0.08f);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawEllipse(centre, diameter / 2, diameter / 2);

    QColor cross = palette.color(QPalette::WindowText);
    cross.setAlphaF(0.8f);
    painter.setPen(QPen(cross, 1.5, Qt::SolidLine, Qt::RoundCap));
    const qreal arm = 3.75;
    painter.drawLine(centre + QPointF(-arm, -arm), centre + QPointF(arm, arm));
    painter.drawLine(centre + QPointF(-arm, arm), centre + QPointF(arm, -arm));
}

void drawTitles(QPainter &painter, const QRectF &bar, const QWidget &window) {
    const QPalette palette = window.palette();
    const QString subtitle = window.property("keloSubtitle").toString();
    const QFont titleFont = scaled(window.font(), 1.0, true);
    const QFont subtitleFont = scaled(window.font(), 0.82, false);
    const qreal titleHeight = QFontMetricsF(titleFont).height();
    const qreal subtitleHeight = subtitle.isEmpty() ? 0 : QFontMetricsF(subtitleFont).height();
    // The two lines together sit in the middle of the bar.
    const qreal top = bar.top() + (bar.height() - titleHeight - subtitleHeight) / 2;
    // Keep clear of the close button on the right, and as much on the left.
    const QRectF lines = bar.adjusted(48, 0, -48, 0);

    painter.setPen(palette.color(QPalette::WindowText));
    painter.setFont(titleFont);
    painter.drawText(
        QRectF(lines.left(), top, lines.width(), titleHeight), Qt::AlignCenter,
        QFontMetricsF(titleFont).elidedText(window.windowTitle(), Qt::ElideRight, lines.width()));
    if (subtitle.isEmpty())
        return;
    painter.setPen(secondaryTextColor(palette));
    painter.setFont(subtitleFont);
    painter.drawText(
        QRectF(lines.left(), top + titleHeight, lines.width(), subtitleHeight), Qt::AlignCenter,
        QFontMetricsF(subtitleFont).elidedText(subtitle, Qt::ElideRight, lines.width()));
}

// The shelf window as a desktop would show it: a title bar above the content, rounded corners
// and a hairline frame.
QImage framedWindow(QWidget &window) {
    // The drawn title bar carries the title and subtitle: the window's own header, which shows
    // the subtitle under a desktop's title bar, stays out of the picture.
    QWidget *header = window.findChild<QWidget *>(QStringLiteral("keloHeader"));
    const bool headerShown = header && header->isVisible();
    if (headerShown) {
        header->hide();
        if (window.layout())
            window.layout()->activate();
    }
    const QPixmap content = window.grab();
    if (headerShown)
        header->show();
    const qreal ratio = content.devicePixelRatio();
    const QSizeF contentSize = content.deviceIndependentSize();
    const QSizeF size(contentSize.width(), contentSize.height() + titleBarHeight);

    QImage image((size * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);

    const QPalette palette = window.palette();
    const QRectF frame(QPointF(0, 0), size);
    QPainterPath outline;
    outline.addRoundedRect(frame, cornerRadius, cornerRadius);
    painter.setClipPath(outline);

    const QRectF bar(0, 0, size.width(), titleBarHeight);
    painter.fillRect(bar, palette.color(QPalette::Window).darker(isDark(palette) ? 125 : 106));
    painter.drawPixmap(QPointF(0, titleBarHeight), content);
    QColor separator = isDark(palette) ? QColor(Qt::black) : palette.color(QPalette::WindowText);
    separator.setAlphaF(isDark(palette) ? 0.5f : 0.14f);
    painter.fillRect(QRectF(0, titleBarHeight - 1, size.width(), 1), separator);
    drawTitles(painter, bar, window);
    drawCloseButton(painter, bar, palette);

    painter.setClipping(false);
    QColor border = isDark(palette) ? QColor(0, 0, 0) : palette.color(QPalette::WindowText);
    border.setAlphaF(isDark(palette) ? 0.6f : 0.22f);
    painter.setPen(QPen(border, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(frame.adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius - 0.5,
                            cornerRadius - 0.5);
    return image;
}

bool isKeloWindow(const QWidget *widget) {
    return widget && widget->windowTitle() == windowTitle;
}

} // namespace

void SnapshotMode::arm(const LaunchArguments &arguments, QObject *parent) {
    if (!arguments.snapshot)
        return;
    new SnapshotMode(*arguments.snapshot, arguments.dark, parent);
}

SnapshotMode::SnapshotMode(QString path, bool dark, QObject *parent)
    : QObject(parent), m_path(std::move(path)) {
    // Fusion and an explicit palette from the start, so that neither the desktop's style nor
    // its colour scheme finds its way into the picture.
    applyAppearance(lightPalette());
    if (dark)
        QTimer::singleShot(appearanceDelay, Qt::PreciseTimer, this,
                           [] { applyAppearance(darkPalette()); });
    QTimer::singleShot(captureDelay, Qt::PreciseTimer, this, &SnapshotMode::capture);
}

QWidget *SnapshotMode::target() {
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *widget : windows) {
        if (qobject_cast<QDialog *>(widget) && widget->isVisible() && widget->parentWidget() &&
            isKeloWindow(widget->parentWidget()->window()))
            return widget;
    }
    for (QWidget *widget : windows) {
        if (widget->isVisible() && isKeloWindow(widget))
            return widget;
    }
    return nullptr;
}

QImage SnapshotMode::picture(QWidget &target) {
    if (qobject_cast<QDialog *>(&target))
        return target.grab().toImage();
    return framedWindow(target);
}

void SnapshotMode::capture() {
    QWidget *window = target();
    if (window && window->property("keloSettling").toBool() &&
        m_settled * settleInterval < settleLimit) {
        ++m_settled;
        QTimer::singleShot(settleInterval, Qt::PreciseTimer, this, &SnapshotMode::capture);
        return;
    }
    if (!window) {
        printError(QStringLiteral("nothing to take a snapshot of: no Kelo window is on screen"));
        quit(1);
        return;
    }
    const QImage image = picture(*window);
    // Written whole or not at all: a file already at the path is replaced only by a complete
    // picture.
    QSaveFile file(m_path);
    QString failure;
    if (image.isNull())
        failure = QStringLiteral("the window gave no picture");
    else if (!file.open(QIODevice::WriteOnly))
        failure = file.errorString();
    else if (!image.save(&file, "PNG"))
        failure = file.error() != QFileDevice::NoError ? file.errorString()
                                                       : QStringLiteral("PNG encoding failed");
    else if (!file.commit())
        failure = file.errorString();
    if (!failure.isEmpty()) {
        printError(QStringLiteral("could not write the snapshot to %1: %2").arg(m_path, failure));
        quit(1);
        return;
    }
    quit(0);
}

} // namespace kelo
