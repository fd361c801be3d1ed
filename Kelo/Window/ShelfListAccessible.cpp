#include "ShelfListAccessible.h"

#include "ShelfListModel.h"
#include "ShelfListView.h"

#include <QAbstractButton>
#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>

namespace kelo {
namespace {

QAccessibleInterface *listInterface(const ShelfListView *view) {
    return view ? QAccessible::queryAccessibleInterface(const_cast<ShelfListView *>(view))
                : nullptr;
}

// One row of the list: no widget of its own, only a place in the model.
class ShelfRowAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    ShelfRowAccessible(ShelfListView *view, int row)
        : m_view(view), m_index(view->listModel().index(row)) {}

    bool isValid() const override { return m_view && m_index.isValid(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_view ? m_view->window()->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override { return listInterface(m_view); }

    QAccessibleInterface *child(int index) const override {
        QAbstractButton *button = cleanUp();
        return index == 0 && button ? QAccessible::queryAccessibleInterface(button) : nullptr;
    }
    int childCount() const override { return cleanUp() ? 1 : 0; }
    int indexOfChild(const QAccessibleInterface *child) const override {
        QAbstractButton *button = cleanUp();
        return button && child && child->object() == button ? 0 : -1;
    }
    QAccessibleInterface *childAt(int x, int y) const override {
        QAccessibleInterface *button = child(0);
        return button && button->rect().contains(x, y) ? button : nullptr;
    }

    QString text(QAccessible::Text text) const override {
        if (!isValid())
            return {};
        switch (text) {
        case QAccessible::Name:
            return m_index.data(Qt::AccessibleTextRole).toString();
        case QAccessible::Description:
            return m_index.data(Qt::AccessibleDescriptionRole).toString();
        default:
            return {};
        }
    }
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override {
        if (!isValid())
            return {};
        const QRect row = m_view->visualRect(m_index);
        return QRect(m_view->viewport()->mapToGlobal(row.topLeft()), row.size());
    }
    QAccessible::Role role() const override {
        return header() ? QAccessible::Heading : QAccessible::ListItem;
    }
    QAccessible::State state() const override {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        if (!m_view->viewport()->rect().intersects(m_view->visualRect(m_index))) {
            state.invisible = true;
            state.offscreen = true;
        }
        if (!header()) {
            state.focusable = true;
            state.selectable = true;
            state.selected = m_view->selectionModel()->isSelected(m_index);
            state.focused = m_view->hasFocus() && m_view->currentIndex() == m_index;
        }
        return state;
    }

    void *interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface
                   ? static_cast<QAccessibleActionInterface *>(this)
                   : nullptr;
    }
    QStringList actionNames() const override {
        if (!isValid() || header())
            return {};
        return {pressAction(), showMenuAction()};
    }
    QStringList keyBindingsForAction(const QString &action) const override {
        if (action == pressAction())
            return {QKeySequence(Qt::Key_Return).toString()};
        if (action == showMenuAction())
            return {QKeySequence(Qt::Key_Menu).toString()};
        return {};
    }
    void doAction(const QString &action) override {
        if (!isValid())
            return;
        if (action == pressAction())
            m_view->openItem(m_index);
        else if (action == showMenuAction())
            m_view->showActionsMenu(m_index);
    }

private:
    bool header() const { return m_view->listModel().isHeader(m_index); }
    QAbstractButton *cleanUp() const {
        if (!isValid() || !header() || m_view->cleanUpButton()->isHidden())
            return nullptr;
        return m_view->cleanUpButtonRect(m_index).isEmpty() ? nullptr : m_view->cleanUpButton();
    }

    QPointer<ShelfListView> m_view;
    QPersistentModelIndex m_index;
};

// The list with its rows as children, in place of the cells of Qt's own item views.
class ShelfListViewAccessible : public QAccessibleWidget {
public:
    explicit ShelfListViewAccessible(ShelfListView *view)
        : QAccessibleWidget(view, QAccessible::List) {
        // Rows are made anew with the list: the old ones would name other files.
        const QAbstractItemModel *model = &view->listModel();
        const auto forget = [this] { forgetRows(); };
        QObject::connect(model, &QAbstractItemModel::modelReset, &m_watch, forget);
        QObject::connect(model, &QAbstractItemModel::layoutChanged, &m_watch, forget);
        QObject::connect(model, &QAbstractItemModel::rowsInserted, &m_watch, forget);
        QObject::connect(model, &QAbstractItemModel::rowsRemoved, &m_watch, forget);
    }
    ~ShelfListViewAccessible() override { forgetRows(); }

    int childCount() const override { return view()->listModel().rowCount(); }
    QAccessibleInterface *child(int index) const override {
        if (index < 0 || index >= childCount())
            return nullptr;
        if (const auto found = m_rows.constFind(index); found != m_rows.constEnd())
            return QAccessible::accessibleInterface(*found);
        auto *row = new ShelfRowAccessible(view(), index);
        m_rows.insert(index, QAccessible::registerAccessibleInterface(row));
        return row;
    }
    int indexOfChild(const QAccessibleInterface *child) const override {
        for (auto row = m_rows.constBegin(); row != m_rows.constEnd(); ++row)
            if (QAccessible::accessibleInterface(row.value()) == child)
                return row.key();
        return -1;
    }
    QAccessibleInterface *childAt(int x, int y) const override {
        const QModelIndex index = view()->indexAt(view()->viewport()->mapFromGlobal(QPoint(x, y)));
        if (!index.isValid())
            return nullptr;
        QAccessibleInterface *row = child(index.row());
        QAccessibleInterface *inside = row ? row->childAt(x, y) : nullptr;
        return inside ? inside : row;
    }
    QAccessibleInterface *focusChild() const override {
        const QModelIndex current = view()->currentIndex();
        if (view()->hasFocus() && current.isValid())
            return child(current.row());
        if (view()->cleanUpButton()->hasFocus())
            return QAccessible::queryAccessibleInterface(view()->cleanUpButton());
        return nullptr;
    }

private:
    ShelfListView *view() const { return static_cast<ShelfListView *>(widget()); }
    void forgetRows() {
        for (const QAccessible::Id id : std::as_const(m_rows))
            QAccessible::deleteAccessibleInterface(id);
        m_rows.clear();
    }

    QObject m_watch;
    mutable QHash<int, QAccessible::Id> m_rows;
};

// The expired header's button, as a child of its heading.
class CleanUpAccessible : public QAccessibleWidget {
public:
    explicit CleanUpAccessible(QAbstractButton *button)
        : QAccessibleWidget(button, QAccessible::Button) {}

    QAccessibleInterface *parent() const override {
        const auto *view = qobject_cast<ShelfListView *>(widget()->parentWidget()->parentWidget());
        QAccessibleInterface *list = listInterface(view);
        for (int row = 0; list && row < list->childCount(); ++row)
            if (QAccessibleInterface *header = list->child(row); header->childCount() > 0)
                return header;
        return QAccessibleWidget::parent();
    }
    QString text(QAccessible::Text text) const override {
        if (text == QAccessible::Name)
            return static_cast<QAbstractButton *>(widget())->text();
        return QAccessibleWidget::text(text);
    }
    QStringList actionNames() const override {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString &action) override {
        if (action == pressAction())
            static_cast<QAbstractButton *>(widget())->click();
        else
            QAccessibleWidget::doAction(action);
    }
};

QAccessibleInterface *shelfListFactory(const QString &className, QObject *object) {
    if (className == QLatin1String("kelo::ShelfListView"))
        return new ShelfListViewAccessible(static_cast<ShelfListView *>(object));
    if (className == QLatin1String("QAbstractButton") &&
        object->objectName() == QLatin1String("keloCleanUp") &&
        qobject_cast<ShelfListView *>(object->parent() ? object->parent()->parent() : nullptr))
        return new CleanUpAccessible(static_cast<QAbstractButton *>(object));
    return nullptr;
}

} // namespace

void installShelfListAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(shelfListFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace kelo
