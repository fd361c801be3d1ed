#pragma once

#include <QAbstractButton>
#include <QListView>
#include <QMenu>
#include <QPointer>

#include <filesystem>
#include <optional>

#include "RowActions.h"

namespace kelo {

class Shelf;
class ShelfListModel;
class ShelfRowDelegate;

// The shelf's files by freshness, one section per class that has items, drawn row by row by
// ShelfRowDelegate. A double click opens a file, a right click or the row's button offers its
// actions, resting on a row shows its full path. From the keyboard: Return opens, the Menu key
// (or Shift+F10) offers the actions, Tab goes on to the expired header's "Opruimen…".
class ShelfListView : public QListView {
    Q_OBJECT

public:
    explicit ShelfListView(Shelf &shelf, QWidget *parent = nullptr);
    ~ShelfListView() override;

    ShelfListModel &listModel() const { return *m_model; }
    ShelfRowDelegate &rowDelegate() const { return *m_delegate; }

    // Takes the sections anew; for when the date moves on without the shelf changing.
    void refresh();

    // How files are opened and revealed; tests put in their own.
    void setFileOperations(FileOperations operations) { m_operations = std::move(operations); }

    // The buttons of a row, in the viewport's coordinates; empty where the row has none.
    QRect cleanUpButtonRect(const QModelIndex &index) const;
    QRect actionsButtonRect(const QModelIndex &index) const;

    // The expired header's "Opruimen…" button, drawn over its row; hidden without that header.
    QAbstractButton *cleanUpButton() const { return m_cleanUp; }
    // Opens the row's file; shows the menu of its actions under the row's button. False for a
    // header.
    bool openItem(const QModelIndex &index);
    bool showActionsMenu(const QModelIndex &index);

    // The actions menu last opened, while it is open.
    QMenu *openMenu() const { return m_menu; }

protected:
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void updateGeometries() override;

private:
    QStyleOptionViewItem optionFor(const QModelIndex &index) const;
    void showActions(const QModelIndex &index, const QPoint &globalPosition);
    void restoreCurrent();
    void placeCleanUp();

    Shelf &m_shelf;
    ShelfListModel *m_model;
    ShelfRowDelegate *m_delegate;
    FileOperations m_operations = FileOperations::desktop();
    QAbstractButton *m_cleanUp;
    QPointer<QMenu> m_menu;
    // The file the keyboard is on and its place in the shelf order: a new list (after a row's
    // action, say) puts the keyboard back on it, or on the file that took its place.
    std::optional<std::filesystem::path> m_currentPath;
    qsizetype m_currentItem = -1;
};

} // namespace kelo
