#include "ReviewListView.h"

#include "FileIcons.h"
#include "FreshnessStyle.h"
#include "ReviewListModel.h"
#include "Symbols.h"
#include "TabularText.h"

#include <QApplication>
#include <QHash>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QStyledItemDelegate>
#include <QtMath>

#include <optional>

namespace kelo {
namespace {

// From the edge of the view to the row's content, on both sides.
constexpr int sideInset = 20;
constexpr int rowMargin = 4;
// Between the checkbox and what it ticks, and between the parts of a row.
constexpr int boxSpacing = 6;
constexpr int partSpacing = 8;
constexpr int iconSize = 20;
constexpr int folderSymbolSize = 16;
// The size beside each file, relative to the body text.
constexpr qreal calloutScale = 0.92;

QFont scaled(const QFont &base, qreal factor, bool bold) {
    QFont font = base;
    if (base.pointSizeF() > 0)
        font.setPointSizeF(base.pointSizeF() * factor);
    else
        font.setPixelSize(qMax(1, qRound(base.pixelSize() * factor)));
    font.setBold(bold);
    return font;
}

// Whole pixels up: a text that fits just so is not shortened.
int textWidth(const QFont &font, const QString &text) {
    return qCeil(QFontMetricsF(font).horizontalAdvance(text));
}

// The text, shortened with "…" where it is wider than `width`.
QString fitted(const QFont &font, const QString &text, Qt::TextElideMode mode, int width) {
    return textWidth(font, text) <= width ? text : QFontMetrics(font).elidedText(text, mode, width);
}

QRect centredVertically(const QRect &rect, int left, int width, int height) {
    return QRect(left, rect.top() + (rect.height() - height) / 2, width, height);
}

// Draws the rows of the review: a folder group's checkbox, symbol, name and the folder that
// holds it; a file's checkbox, icon, name and size. Clicks are the view's.
class ReviewRowDelegate : public QStyledItemDelegate {
public:
    ReviewRowDelegate(ReviewListModel &model, QObject *parent)
        : QStyledItemDelegate(parent), m_model(model) {}

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const override {
        // The width follows the view; every row is as high as the tallest kind.
        return QSize(1, fonts(option).rowHeight);
    }

    QWidget *createEditor(QWidget *, const QStyleOptionViewItem &,
                          const QModelIndex &) const override {
        return nullptr;
    }

    bool editorEvent(QEvent *, QAbstractItemModel *, const QStyleOptionViewItem &,
                     const QModelIndex &) override {
        return false;
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        if (option.state & QStyle::State_HasFocus) {
            const QColor highlight = rowHighlight(option.palette);
            QPainterPath path;
            path.addRoundedRect(QRectF(option.rect.adjusted(sideInset / 2, 1, -sideInset / 2, -1)),
                                6, 6);
            painter->fillPath(path, highlight);
        }
        const QRect content = option.rect.adjusted(sideInset, rowMargin, -sideInset, -rowMargin);
        const int left = paintCheckBox(painter, option, content, m_model.checkState(index));
        if (m_model.isGroup(index))
            paintGroup(painter, option, index, content, left);
        else if (m_model.file(index))
            paintFile(painter, option, index, content, left);
        painter->restore();
    }

private:
    struct Fonts {
        QFont body;
        QFont headline;
        QFont callout;
        int rowHeight = 0;
    };

    const Fonts &fonts(const QStyleOptionViewItem &option) const {
        const QFont &base = option.font;
        if (m_fonts && m_fonts->body == base)
            return *m_fonts;
        Fonts made;
        made.body = base;
        made.headline = scaled(base, 1.0, true);
        made.callout = scaled(base, calloutScale, false);
        const int indicator =
            style(option)->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, option.widget);
        made.rowHeight = qMax(qMax(iconSize, indicator), qMax(QFontMetrics(made.headline).height(),
                                                              QFontMetrics(made.body).height())) +
                         2 * rowMargin;
        m_fonts = std::move(made);
        return *m_fonts;
    }

    static const QStyle *style(const QStyleOptionViewItem &option) {
        return option.widget ? option.widget->style() : QApplication::style();
    }

    // Draws the checkbox at the start of the row; returns where the rest of the row starts.
    static int paintCheckBox(QPainter *painter, const QStyleOptionViewItem &option,
                             const QRect &content, Qt::CheckState state) {
        const QStyle *drawing = style(option);
        const int width = drawing->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, option.widget);
        const int height = drawing->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, option.widget);
        QStyleOptionButton box;
        box.rect = centredVertically(content, content.left(), width, height);
        box.palette = option.palette;
        box.state = QStyle::State_Enabled | (option.state & QStyle::State_Active);
        box.state |= state == Qt::Checked     ? QStyle::State_On
                     : state == Qt::Unchecked ? QStyle::State_Off
                                              : QStyle::State_NoChange;
        drawing->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, option.widget);
        return box.rect.right() + 1 + boxSpacing;
    }

    void paintGroup(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index,
                    const QRect &content, int left) const {
        const Fonts &f = fonts(option);
        const QColor primary = option.palette.color(QPalette::Text);
        const qreal ratio = painter->device()->devicePixelRatioF();
        // Rows are all of one height, so a hairline rather than space sets the groups apart.
        if (index.row() > 0)
            painter->fillRect(QRect(option.rect.left() + sideInset, option.rect.top(),
                                    option.rect.width() - 2 * sideInset, 1),
                              option.palette.color(QPalette::Mid));
        const QRect symbolRect =
            centredVertically(content, left, folderSymbolSize, folderSymbolSize);
        painter->drawPixmap(symbolRect, folderSymbol(primary, ratio));

        // The name as wide as it needs, the folder holding it in what is left.
        const int nameLeft = symbolRect.right() + 1 + boxSpacing;
        const int room = qMax(0, content.right() + 1 - nameLeft);
        const QString name = index.data(Qt::DisplayRole).toString();
        const int nameWidth = qMin(room, textWidth(f.headline, name));
        painter->setFont(f.headline);
        painter->setPen(primary);
        painter->drawText(QRect(nameLeft, content.top(), nameWidth, content.height()),
                          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          fitted(f.headline, name, Qt::ElideMiddle, nameWidth));

        const int parentLeft = nameLeft + nameWidth + boxSpacing;
        const int parentWidth = content.right() + 1 - parentLeft;
        if (parentWidth <= 0)
            return;
        painter->setFont(f.body);
        painter->setPen(secondaryTextColor(option.palette));
        painter->drawText(QRect(parentLeft, content.top(), parentWidth, content.height()),
                          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          fitted(f.body, index.data(ReviewListModel::ParentFolderRole).toString(),
                                 Qt::ElideLeft, parentWidth));
    }

    void paintFile(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index,
                   const QRect &content, int left) const {
        const Fonts &f = fonts(option);
        const QColor secondary = secondaryTextColor(option.palette);
        const qreal ratio = painter->device()->devicePixelRatioF();
        const QRect iconRect = centredVertically(content, left, iconSize, iconSize);
        painter->drawPixmap(iconRect,
                            m_icons.icon(*m_model.file(index), iconSize, ratio, secondary));

        const QString size = index.data(ReviewListModel::SizeTextRole).toString();
        painter->setFont(f.callout);
        const int sizeWidth = tabularTextWidth(painter->fontMetrics(), size);
        painter->setPen(secondary);
        drawTabularText(*painter, content, size);

        const int nameLeft = iconRect.right() + 1 + partSpacing;
        const int nameWidth = qMax(0, content.right() + 1 - sizeWidth - partSpacing - nameLeft);
        painter->setFont(f.body);
        painter->setPen(option.palette.color(QPalette::Text));
        painter->drawText(
            QRect(nameLeft, content.top(), nameWidth, content.height()),
            Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
            fitted(f.body, index.data(Qt::DisplayRole).toString(), Qt::ElideMiddle, nameWidth));
    }

    QPixmap folderSymbol(const QColor &color, qreal ratio) const {
        const QString key = QStringLiteral("%1/%2").arg(color.rgba()).arg(ratio);
        if (const auto found = m_symbols.constFind(key); found != m_symbols.constEnd())
            return *found;
        return *m_symbols.insert(
            key, symbolPixmap(QStringLiteral("folder"), folderSymbolSize, color, ratio));
    }

    ReviewListModel &m_model;
    mutable std::optional<Fonts> m_fonts;
    mutable QHash<QString, QPixmap> m_symbols;
    mutable FileIcons m_icons;
};

} // namespace

ReviewListView::ReviewListView(ReviewListModel &model, QWidget *parent)
    : QTreeView(parent), m_model(model) {
    setModel(&m_model);
    setItemDelegate(new ReviewRowDelegate(m_model, this));
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setIndentation(0);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setFrameShape(QFrame::NoFrame);

    connect(&m_model, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        const QModelIndex current = currentIndex();
        m_keptGroup = m_model.isGroup(current);
        if (m_keptGroup)
            m_keptCurrent =
                m_model.folder(current) ? *m_model.folder(current) : std::filesystem::path();
        else
            m_keptCurrent = m_model.file(current) ? std::filesystem::path(*m_model.file(current))
                                                  : std::filesystem::path();
        m_keptScroll = verticalScrollBar()->value();
    });
    connect(&m_model, &QAbstractItemModel::modelReset, this, [this] {
        expandAll();
        if (!m_keptCurrent.empty())
            selectionModel()->setCurrentIndex(m_keptGroup ? m_model.groupIndex(m_keptCurrent)
                                                          : m_model.fileIndex(m_keptCurrent),
                                              QItemSelectionModel::NoUpdate);
        verticalScrollBar()->setValue(m_keptScroll);
    });
    expandAll();
}

ReviewListView::~ReviewListView() = default;

void ReviewListView::keyPressEvent(QKeyEvent *event) {
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Select:
        if (currentIndex().isValid()) {
            m_model.toggle(currentIndex());
            event->accept();
            return;
        }
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        // The sheet's: its default button, or "Later".
        event->ignore();
        return;
    default:
        break;
    }
    QTreeView::keyPressEvent(event);
}

void ReviewListView::mousePressEvent(QMouseEvent *event) {
    QTreeView::mousePressEvent(event);
    if (event->button() == Qt::LeftButton)
        m_pressed = indexAt(event->position().toPoint());
}

void ReviewListView::mouseReleaseEvent(QMouseEvent *event) {
    QTreeView::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    const QModelIndex released = indexAt(event->position().toPoint());
    const bool toggles = released.isValid() && released == m_pressed;
    m_pressed = QPersistentModelIndex();
    if (toggles)
        m_model.toggle(released);
}

// A second click toggles again, as it would a checkbox.
void ReviewListView::mouseDoubleClickEvent(QMouseEvent *event) {
    mousePressEvent(event);
}

} // namespace kelo
