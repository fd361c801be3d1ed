#include "ShelfListView.h"

#include "FreshnessStyle.h"
#include "ShelfListAccessible.h"
#include "ShelfListModel.h"
#include "ShelfRowDelegate.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>

namespace kelo {
namespace {

// The "Opruimen…" of the expired header: a link the keyboard reaches with Tab, drawn over the
// header's row where the row leaves room for it.
class CleanUpButton : public QAbstractButton {
public:
    explicit CleanUpButton(QWidget *parent) : QAbstractButton(parent) {
        setObjectName(QStringLiteral("keloCleanUp"));
        setText(ShelfRowDelegate::tr("Opruimen…"));
        setFocusPolicy(Qt::TabFocus);
        setCursor(Qt::PointingHandCursor);
    }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor link = palette().color(QPalette::Link);
        if (isDown())
            link = link.darker(140);
        painter.setPen(link);
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text());
        if (hasFocus())
            paintFocusRing(painter, rect(), palette());
    }
};

} // namespace

ShelfListView::ShelfListView(Shelf &shelf, QWidget *parent)
    : QListView(parent), m_shelf(shelf), m_model(new ShelfListModel(shelf, this)),
      m_delegate(new ShelfRowDelegate(*m_model, this)) {
    installShelfListAccessibility();
    setAccessibleName(tr("Bestanden"));
    m_cleanUp = new CleanUpButton(viewport());
    m_cleanUp->hide();
    connect(m_cleanUp, &QAbstractButton::clicked, this, [this] { m_shelf.setReviewing(true); });
    setModel(m_model);
    setItemDelegate(m_delegate);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setFrameShape(QFrame::NoFrame);
    connect(m_delegate, &ShelfRowDelegate::actionsRequested, this,
            [this](const QModelIndex &index, const QRect &button) {
                showActions(index, viewport()->mapToGlobal(button.bottomLeft()));
            });
    // After the view's own handling of the reset, which forgets the current row.
    connect(m_model, &QAbstractItemModel::modelReset, this, &ShelfListView::restoreCurrent);
    connect(m_model, &QAbstractItemModel::modelReset, this, &ShelfListView::placeCleanUp);
}

ShelfListView::~ShelfListView() = default;

void ShelfListView::refresh() {
    m_model->rebuild();
}

void ShelfListView::currentChanged(const QModelIndex &current, const QModelIndex &previous) {
    QListView::currentChanged(current, previous);
    if (!current.isValid())
        return;
    if (const Shelf::Item *item = m_model->item(current)) {
        m_currentPath = item->path;
        m_currentItem = m_model->row(current.row()).itemIndex;
    } else {
        m_currentPath.reset();
    }
}

void ShelfListView::restoreCurrent() {
    if (!m_currentPath)
        return;
    QModelIndex index = m_model->indexOfPath(*m_currentPath, m_currentItem);
    if (!index.isValid()) {
        // Gone from the list: the file after it, or before it when it was the last.
        const auto count = static_cast<qsizetype>(m_shelf.items().size());
        index = m_model->indexOfItem(std::min(m_currentItem, count - 1));
    }
    if (!index.isValid()) {
        m_currentPath.reset();
        return;
    }
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
}

void ShelfListView::placeCleanUp() {
    const QModelIndex first = m_model->index(0);
    const QRect button = first.isValid() ? cleanUpButtonRect(first) : QRect();
    if (button.isEmpty()) {
        m_cleanUp->hide();
        return;
    }
    m_cleanUp->setFont(m_delegate->cleanUpFont(font()));
    m_cleanUp->setGeometry(button);
    m_cleanUp->show();
}

void ShelfListView::updateGeometries() {
    QListView::updateGeometries();
    placeCleanUp();
}

void ShelfListView::focusInEvent(QFocusEvent *event) {
    QListView::focusInEvent(event);
    // Coming from the keyboard, or with the window, onto a file rather than a header.
    if (event->reason() == Qt::MouseFocusReason || m_model->item(currentIndex()))
        return;
    const QModelIndex first = m_model->indexOfItem(0);
    if (first.isValid())
        selectionModel()->setCurrentIndex(first, QItemSelectionModel::ClearAndSelect);
}

QModelIndex ShelfListView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    const QModelIndex next = QListView::moveCursor(action, modifiers);
    if (action == MoveHome || action == MoveEnd || !next.isValid() || m_model->item(next))
        return next;
    // The arrows and pages pass a heading by, on to the file beyond it; above the first heading
    // there is none, and the keyboard stays where it is.
    const int step = next.row() > currentIndex().row() ? 1 : -1;
    const QModelIndex beyond = m_model->index(next.row() + step);
    return m_model->item(beyond) ? beyond : currentIndex();
}

QStyleOptionViewItem ShelfListView::optionFor(const QModelIndex &index) const {
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    option.index = index;
    return option;
}

QRect ShelfListView::cleanUpButtonRect(const QModelIndex &index) const {
    return m_delegate->cleanUpButtonRect(optionFor(index), index);
}

QRect ShelfListView::actionsButtonRect(const QModelIndex &index) const {
    return m_delegate->actionsButtonRect(optionFor(index), index);
}

void ShelfListView::showActions(const QModelIndex &index, const QPoint &globalPosition) {
    const Shelf::Item *item = m_model->item(index);
    if (!item)
        return;
    if (m_menu)
        m_menu->close();
    m_menu = RowActions::menu(*item, m_shelf, m_operations, this);
    m_menu->popup(globalPosition);
}

bool ShelfListView::showActionsMenu(const QModelIndex &index) {
    if (!m_model->item(index))
        return false;
    scrollTo(index);
    showActions(index, viewport()->mapToGlobal(actionsButtonRect(index).bottomLeft()));
    return true;
}

bool ShelfListView::openItem(const QModelIndex &index) {
    const Shelf::Item *item = m_model->item(index);
    if (!item)
        return false;
    // A copy: opening may bring the shelf up to date under our feet.
    const std::filesystem::path path = item->path;
    m_operations.open(path);
    return true;
}

void ShelfListView::contextMenuEvent(QContextMenuEvent *event) {
    QModelIndex index;
    QPoint at = event->globalPos();
    if (event->reason() == QContextMenuEvent::Keyboard) {
        index = currentIndex();
        at = viewport()->mapToGlobal(visualRect(index).center());
    } else {
        index = indexAt(viewport()->mapFromGlobal(event->globalPos()));
    }
    if (!m_model->item(index)) {
        event->ignore();
        return;
    }
    setCurrentIndex(index);
    showActions(index, at);
    event->accept();
}

void ShelfListView::mouseDoubleClickEvent(QMouseEvent *event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    const Shelf::Item *item = m_model->item(index);
    const bool onButton = actionsButtonRect(index).contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton && item && !onButton) {
        openItem(index);
        event->accept();
        return;
    }
    QListView::mouseDoubleClickEvent(event);
}

void ShelfListView::keyPressEvent(QKeyEvent *event) {
    const bool menuKey = event->key() == Qt::Key_Menu ||
                         (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier);
    if (((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
         openItem(currentIndex())) ||
        (menuKey && showActionsMenu(currentIndex()))) {
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

} // namespace kelo
