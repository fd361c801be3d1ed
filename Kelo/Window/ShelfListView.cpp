#include "ShelfListView.h"

#include "ShelfListModel.h"
#include "ShelfRowDelegate.h"

#include <QContextMenuEvent>
#include <QMenu>

namespace kelo {

ShelfListView::ShelfListView(Shelf &shelf, QWidget *parent)
    : QListView(parent), m_shelf(shelf), m_model(new ShelfListModel(shelf, this)),
      m_delegate(new ShelfRowDelegate(*m_model, this)) {
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
        // A copy: opening may bring the shelf up to date under our feet.
        const std::filesystem::path path = item->path;
        m_operations.open(path);
        event->accept();
        return;
    }
    QListView::mouseDoubleClickEvent(event);
}

void ShelfListView::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (const Shelf::Item *item = m_model->item(currentIndex())) {
            const std::filesystem::path path = item->path;
            m_operations.open(path);
            event->accept();
            return;
        }
    }
    QListView::keyPressEvent(event);
}

} // namespace kelo
