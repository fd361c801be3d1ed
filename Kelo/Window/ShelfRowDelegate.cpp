#include "ShelfRowDelegate.h"

#include "Clock.h"
#include "DateStamp.h"
#include "FolderText.h"
#include "FreshnessStyle.h"
#include "ShelfListModel.h"
#include "Symbols.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

namespace kelo {
namespace {

// From the edge of the view to the row's content, on both sides.
constexpr int sideInset = 16;
constexpr int headerTopMargin = 6;
constexpr int headerBottomMargin = 4;
constexpr int itemMargin = 4;
constexpr int gap = 12;
constexpr int iconSize = 32;
constexpr int lineGap = 2;
// The header's label (symbol, title) and the parts of its row.
constexpr int labelSpacing = 6;
constexpr int headerSpacing = 8;
constexpr int buttonPadding = 4;
constexpr int actionsSymbolSize = 16;
constexpr int actionsButtonSize = 24;
constexpr qsizetype cacheLimit = 4096;

QFont scaled(const QFont &base, qreal factor, QFont::Weight weight) {
    QFont font = base;
    if (base.pointSizeF() > 0)
        font.setPointSizeF(base.pointSizeF() * factor);
    else
        font.setPixelSize(qMax(1, qRound(base.pixelSize() * factor)));
    font.setWeight(weight);
    return font;
}

QFont withTabularDigits(QFont font) {
#if QT_VERSION >= QT_VERSION_CHECK(6, 7, 0)
    font.setFeature("tnum", 1);
#endif
    // Before Qt 6.7 fonts keep their default digits, which are tabular in the common UI fonts.
    return font;
}

int lineHeight(const QFont &font) {
    return QFontMetrics(font).height();
}

QRect centredVertically(QRect rect, int height) {
    return QRect(rect.left(), rect.top() + (rect.height() - height) / 2, rect.width(), height);
}

QString cleanUpText() {
    return ShelfRowDelegate::tr("Opruimen…");
}

// The "Opruimen…" button of a header row: its text lines up with the trailing edge of the
// content, its padding reaches into the inset.
QRect cleanUpRect(const QRect &row, const QFont &font) {
    const QRect content = row.adjusted(sideInset, headerTopMargin, -sideInset, -headerBottomMargin);
    const int width = QFontMetrics(font).horizontalAdvance(cleanUpText()) + 2 * buttonPadding;
    const int height = lineHeight(font) + 2 * buttonPadding;
    return QRect(content.right() + 1 + buttonPadding - width,
                 content.top() + (content.height() - height) / 2, width, height);
}

struct ItemLayout {
    QRect content;
    QRect icon;
    QRect button;
    QRect badge;
};

ItemLayout itemLayout(const QRect &row) {
    ItemLayout layout;
    layout.content = row.adjusted(sideInset, itemMargin, -sideInset, -itemMargin);
    const QRect &content = layout.content;
    layout.icon = centredVertically(
        QRect(content.left(), content.top(), iconSize, content.height()), iconSize);
    layout.button = QRect(content.right() + 1 - actionsButtonSize,
                          content.top() + (content.height() - actionsButtonSize) / 2,
                          actionsButtonSize, actionsButtonSize);
    const QSize badge = dateStampSize();
    layout.badge = QRect(layout.button.left() - gap - badge.width(),
                         content.top() + (content.height() - badge.height()) / 2, badge.width(),
                         badge.height());
    return layout;
}

} // namespace

ShelfRowDelegate::ShelfRowDelegate(ShelfListModel &model, QObject *parent)
    : QStyledItemDelegate(parent), m_model(model) {
}

const ShelfRowDelegate::Fonts &ShelfRowDelegate::fonts(const QFont &base) const {
    if (m_fonts && m_fonts->body == base)
        return *m_fonts;
    Fonts made;
    made.body = base;
    made.headline = scaled(base, 1.1, QFont::Bold);
    made.subheadline = withTabularDigits(scaled(base, 0.88, QFont::Normal));
    made.caption = scaled(base, 0.82, QFont::Normal);
    made.callout = scaled(base, 0.94, QFont::Normal);
    made.headerHeight =
        headerTopMargin +
        qMax(lineHeight(made.headline), lineHeight(made.subheadline) + 2 * buttonPadding) +
        headerBottomMargin;
    const int lines = lineHeight(made.body) + lineGap + lineHeight(made.caption);
    made.itemHeight =
        qMax(qMax(iconSize, lines), qMax(dateStampSize().height(), actionsButtonSize)) +
        2 * itemMargin;
    m_fonts = std::move(made);
    return *m_fonts;
}

void ShelfRowDelegate::refreshCalendar() const {
    if (m_calendar && m_calendarAge.isValid() && m_calendarAge.elapsed() < 1000)
        return;
    m_calendar = Calendar::current();
    m_now = Clock::now();
    m_calendarAge.start();
    // Badge texts hold for as long as the zone and the locale do.
    std::string key = m_calendar->zoneId() + '\n' + m_calendar->localeName();
    if (key != m_calendarKey) {
        m_calendarKey = std::move(key);
        m_badgeTexts.clear();
    }
}

QPair<QString, QString> ShelfRowDelegate::badgeTexts(Instant date) const {
    const qint64 key = date.time_since_epoch().count();
    if (const auto found = m_badgeTexts.constFind(key); found != m_badgeTexts.constEnd())
        return *found;
    if (m_badgeTexts.size() >= cacheLimit)
        m_badgeTexts.clear();
    const BadgeParts parts = m_calendar->badgeParts(date);
    return *m_badgeTexts.insert(key, {QString::fromStdString(parts.dayMonth).toUpper(),
                                      QString::fromStdString(parts.year)});
}

QPixmap ShelfRowDelegate::symbol(const QString &name, int size, const QColor &color,
                                 qreal ratio) const {
    const QString key =
        QStringLiteral("%1/%2/%3/%4").arg(name).arg(size).arg(color.rgba()).arg(ratio);
    if (const auto found = m_symbols.constFind(key); found != m_symbols.constEnd())
        return *found;
    return *m_symbols.insert(key, symbolPixmap(name, size, color, ratio));
}

ShelfRowDelegate::ItemTexts ShelfRowDelegate::itemTexts(const Shelf::Item &item,
                                                        const QPalette &palette) const {
    refreshCalendar();
    ItemTexts texts;
    const bool dark = isDark(palette);
    texts.freshness = freshness(item.date, m_now, *m_calendar);
    texts.name = kelo::displayText(std::filesystem::path(item.fileName()));
    texts.folder = folderText(item.folder());
    texts.daysLeft = daysLeftLabel(item.date, m_now, *m_calendar);
    texts.daysLeftColor = texts.freshness == Freshness::expired
                              ? freshnessColor(Freshness::expired, dark)
                              : secondaryTextColor(palette);
    const auto badge = badgeTexts(item.date);
    texts.dayMonth = badge.first;
    texts.year = badge.second;
    texts.badgeColor = freshnessColor(texts.freshness, dark);
    return texts;
}

QRect ShelfRowDelegate::cleanUpButtonRect(const QStyleOptionViewItem &option,
                                          const QModelIndex &index) const {
    if (!m_model.isHeader(index))
        return {};
    const ShelfListModel::Row row = m_model.row(index.row());
    if (row.freshness != Freshness::expired)
        return {};
    return cleanUpRect(option.rect, fonts(option.font).subheadline);
}

QFont ShelfRowDelegate::cleanUpFont(const QFont &base) const {
    return fonts(base).subheadline;
}

QRect ShelfRowDelegate::actionsButtonRect(const QStyleOptionViewItem &option,
                                          const QModelIndex &index) const {
    if (!m_model.item(index))
        return {};
    return itemLayout(option.rect).button;
}

QSize ShelfRowDelegate::sizeHint(const QStyleOptionViewItem &option,
                                 const QModelIndex &index) const {
    const Fonts &f = fonts(option.font);
    // The width follows the view; only the height is the row's own.
    return QSize(1, m_model.isHeader(index) ? f.headerHeight : f.itemHeight);
}

QWidget *ShelfRowDelegate::createEditor(QWidget *, const QStyleOptionViewItem &,
                                        const QModelIndex &) const {
    return nullptr;
}

void ShelfRowDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                             const QModelIndex &index) const {
    if (!index.isValid() || index.row() >= m_model.rowCount())
        return;
    const ShelfListModel::Row row = m_model.row(index.row());
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    if (row.kind == ShelfListModel::RowKind::header) {
        paintHeader(painter, option, row.freshness, row.count);
    } else if (const Shelf::Item *item = m_model.item(index)) {
        paintItem(painter, option, *item);
    }
    painter->restore();
}

void ShelfRowDelegate::paintHeader(QPainter *painter, const QStyleOptionViewItem &option,
                                   Freshness freshness, qsizetype count) const {
    const Fonts &f = fonts(option.font);
    const QColor color = freshnessColor(freshness, isDark(option.palette));
    const qreal ratio = painter->device()->devicePixelRatioF();
    const QRect content =
        option.rect.adjusted(sideInset, headerTopMargin, -sideInset, -headerBottomMargin);

    const QFontMetrics headline(f.headline);
    const int symbolSize = headline.ascent();
    QRect symbolRect = centredVertically(
        QRect(content.left(), content.top(), symbolSize, content.height()), symbolSize);
    painter->drawPixmap(symbolRect, symbol(sectionSymbol(freshness), symbolSize, color, ratio));

    const QString title = sectionTitle(freshness);
    const QRect titleRect(symbolRect.right() + 1 + labelSpacing, content.top(),
                          headline.horizontalAdvance(title), content.height());
    painter->setFont(f.headline);
    painter->setPen(color);
    painter->drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, title);

    const QString countText = QString::number(count);
    const QRect countRect(titleRect.right() + 1 + headerSpacing, content.top(),
                          QFontMetrics(f.subheadline).horizontalAdvance(countText),
                          content.height());
    painter->setFont(f.subheadline);
    painter->setPen(secondaryTextColor(option.palette));
    painter->drawText(countRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, countText);

    // "Opruimen…" is the view's button, over the row.
}

void ShelfRowDelegate::paintItem(QPainter *painter, const QStyleOptionViewItem &option,
                                 const Shelf::Item &item) const {
    const Fonts &f = fonts(option.font);
    const ItemTexts texts = itemTexts(item, option.palette);
    const ItemLayout layout = itemLayout(option.rect);
    const qreal ratio = painter->device()->devicePixelRatioF();
    const QColor secondary = secondaryTextColor(option.palette);

    if (option.state & QStyle::State_Selected) {
        const QColor highlight = rowHighlight(option.palette);
        QPainterPath path;
        path.addRoundedRect(QRectF(option.rect.adjusted(sideInset / 2, 1, -sideInset / 2, -1)), 6,
                            6);
        painter->fillPath(path, highlight);
    }
    if (option.state & QStyle::State_HasFocus)
        paintFocusRing(*painter, option.rect.adjusted(sideInset / 2, 1, -sideInset / 2, -1),
                       option.palette);

    painter->drawPixmap(layout.icon, m_icons.icon(item.path, iconSize, ratio, secondary));

    paintDateStamp(painter, layout.badge, texts.dayMonth, texts.year, texts.badgeColor);

    const QPixmap actions = symbol(QStringLiteral("ellipsis.circle"), actionsSymbolSize,
                                   option.palette.color(QPalette::WindowText), ratio);
    QRect actionsRect(0, 0, actionsSymbolSize, actionsSymbolSize);
    actionsRect.moveCenter(layout.button.center());
    painter->drawPixmap(actionsRect, actions);

    const QFontMetrics callout(f.callout);
    const int daysLeftWidth = callout.horizontalAdvance(texts.daysLeft);
    const QRect daysLeftRect(layout.badge.left() - gap - daysLeftWidth, layout.content.top(),
                             daysLeftWidth, layout.content.height());
    painter->setFont(f.callout);
    painter->setPen(texts.daysLeftColor);
    painter->drawText(daysLeftRect, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine,
                      texts.daysLeft);

    const int textLeft = layout.icon.right() + 1 + gap;
    const int textWidth = qMax(0, daysLeftRect.left() - gap - textLeft);
    const int nameHeight = lineHeight(f.body);
    const int folderHeight = lineHeight(f.caption);
    const int top =
        layout.content.top() + (layout.content.height() - nameHeight - lineGap - folderHeight) / 2;
    const QFontMetrics body(f.body);
    painter->setFont(f.body);
    painter->setPen(option.palette.color(QPalette::Text));
    painter->drawText(QRect(textLeft, top, textWidth, nameHeight),
                      Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      body.elidedText(texts.name, Qt::ElideMiddle, textWidth));
    const QFontMetrics caption(f.caption);
    painter->setFont(f.caption);
    painter->setPen(secondary);
    painter->drawText(QRect(textLeft, top + nameHeight + lineGap, textWidth, folderHeight),
                      Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      caption.elidedText(texts.folder, Qt::ElideLeft, textWidth));
}

bool ShelfRowDelegate::editorEvent(QEvent *event, QAbstractItemModel *,
                                   const QStyleOptionViewItem &option, const QModelIndex &index) {
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease &&
        type != QEvent::MouseButtonDblClick)
        return false;
    const auto *mouse = static_cast<QMouseEvent *>(event);
    if (mouse->button() != Qt::LeftButton)
        return false;
    const bool header = m_model.isHeader(index);
    const QRect button =
        header ? cleanUpButtonRect(option, index) : actionsButtonRect(option, index);
    if (!button.contains(mouse->position().toPoint())) {
        m_pressed = QPersistentModelIndex();
        return false;
    }
    if (type == QEvent::MouseButtonRelease) {
        const bool pressedHere = m_pressed == index;
        m_pressed = QPersistentModelIndex();
        if (!pressedHere)
            return true;
        if (header)
            m_model.shelf().setReviewing(true);
        else
            emit actionsRequested(index, button);
        return true;
    }
    m_pressed = index;
    return true;
}

bool ShelfRowDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view,
                                 const QStyleOptionViewItem &option, const QModelIndex &index) {
    if (event->type() != QEvent::ToolTip)
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const Shelf::Item *item = m_model.item(index);
    if (!item) {
        QToolTip::hideText();
        event->ignore();
        return false;
    }
    QToolTip::showText(event->globalPos(), kelo::displayText(item->path), view, option.rect);
    return true;
}

} // namespace kelo
