// The shelf window and its review as assistive technology reads them through Qt's own
// accessibility interfaces, and the keyboard alone going through them.
#include "ShelfWindow.h"
#include "StampedHome.h"

#include "Appearance.h"
#include "ReviewListModel.h"
#include "ReviewListView.h"
#include "ShelfListModel.h"
#include "ShelfListView.h"

#include <QAccessible>
#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QTest>

using namespace kelo;
namespace fs = std::filesystem;

namespace {

class AccessibilityTest : public StampedHome {
protected:
    ScopedEnvironment locale{"LC_ALL", "nl_NL.UTF-8"};
    ScopedEnvironment language{"LANGUAGE", nullptr};
    const fs::path oud = stamped(home / "Bureaublad/oud.txt", -400);
    const fs::path ouder = stamped(home / "Bureaublad/ouder.txt", -500, 5'000);
    const fs::path vers = stamped(home / "vers.txt", 90);
    std::unique_ptr<ShelfWindow> window;
    ShelfListView *list = nullptr;
    std::vector<fs::path> opened;

    // The long date `days` from today, as a row says it.
    QString date(int days) const {
        return QString::fromStdString(
            calendar.longDate(calendar.adding(today, DateComponent::Day, days), Language::dutch));
    }
    QAccessibleInterface *listed() const { return QAccessible::queryAccessibleInterface(list); }
    QAccessibleInterface *row(const fs::path &file) const {
        return listed()->child(list->listModel().indexOfPath(file, -1).row());
    }
    QAccessibleInterface *heading(int section) const {
        int seen = 0;
        for (int at = 0; at < listed()->childCount(); ++at)
            if (listed()->child(at)->role() == QAccessible::Heading && seen++ == section)
                return listed()->child(at);
        return nullptr;
    }
    static QWidget *tab() {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        return QApplication::focusWidget();
    }
};

// Every row, heading and button says what a sighted user sees, with the actions it offers; the
// review's rows carry their folder, size and tick, a group its mixed tick. A row's menu opens
// from its accessible action and from the Menu key; Tab goes once round every control.
TEST_F(AccessibilityTest, RowsHeadingsAndControlsSayWhatTheyShow) {
    loadShelf({home});
    window = std::make_unique<ShelfWindow>(*shelf);
    list = window->findChild<ShelfListView *>();
    list->setFileOperations({[this](const fs::path &path) { opened.push_back(path); }, {}});
    window->present();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    ASSERT_TRUE(heading(1));
    // Actions as Qt names them, space-separated.
    const QString press = QAccessibleActionInterface::pressAction();
    const QString rowActions = press + ' ' + QAccessibleActionInterface::showMenuAction();
    const struct {
        const char *what;
        QAccessibleInterface *node;
        QAccessible::Role role;
        bool focusable;
        QString name, actions, description = {};
    } cases[] = {
        {"list", listed(), QAccessible::List, true, "Bestanden",
         QAccessibleActionInterface::setFocusAction()},
        {"expired", heading(0), QAccessible::Heading, false, "Over de datum, 2 bestanden", ""},
        {"fresh", heading(1), QAccessible::Heading, false, "Nog lang houdbaar, 1 bestand", ""},
        {"oud", row(oud), QAccessible::ListItem, true, "oud.txt", rowActions,
         "~/Bureaublad, 400 dagen over de datum, " + date(-400)},
        {"vers", row(vers), QAccessible::ListItem, true, "vers.txt", rowActions,
         "~, nog 90 dagen, " + date(90)},
        {"button", heading(0)->child(0), QAccessible::Button, true, "Opruimen…", press},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QAccessibleInterface *node = c.node;
        ASSERT_TRUE(node && node->isValid());
        EXPECT_EQ(node->role(), c.role);
        EXPECT_EQ(node->text(QAccessible::Name), c.name);
        EXPECT_EQ(node->text(QAccessible::Description), c.description);
        const QStringList actions =
            node->actionInterface() ? node->actionInterface()->actionNames() : QStringList();
        for (const QString &action : c.actions.split(' ', Qt::SkipEmptyParts))
            EXPECT_TRUE(actions.contains(action)) << action.toStdString();
        EXPECT_EQ(actions.isEmpty(), c.actions.isEmpty()) << actions.join(' ').toStdString();
        EXPECT_EQ(bool(node->state().focusable), c.focusable);
        EXPECT_EQ(bool(node->state().selectable), c.role == QAccessible::ListItem);
        EXPECT_FALSE(node->state().invisible);
        // Found again from its parent, as a screen reader walks the tree.
        if (QAccessibleInterface *parent = node->parent(); node != listed()) {
            EXPECT_EQ(parent->child(parent->indexOfChild(node)), node);
        }
    }

    // The row's actions: its menu, its file; the Menu key; the button starts the review.
    row(ouder)->actionInterface()->doAction(QAccessibleActionInterface::showMenuAction());
    ASSERT_TRUE(list->openMenu());
    list->openMenu()->close();
    row(ouder)->actionInterface()->doAction(press);
    EXPECT_EQ(opened, std::vector<fs::path>{ouder});

    // The window comes up with the keyboard on the first file, not on a heading; arrows pass
    // the headings by; Tab goes round the list, "Opruimen…" and the footer's links.
    EXPECT_EQ(QApplication::focusWidget(), list);
    EXPECT_EQ(list->currentIndex(), list->listModel().indexOfPath(ouder, -1));
    EXPECT_TRUE(listed()->focusChild() == row(ouder));
    EXPECT_TRUE(row(ouder)->state().focused);
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(list->currentIndex(), list->listModel().indexOfPath(vers, -1));
    QTest::keyClick(list, Qt::Key_Up);
    EXPECT_EQ(list->currentIndex(), list->listModel().indexOfPath(oud, -1));
    QTest::keyClick(list, Qt::Key_Menu);
    ASSERT_TRUE(list->openMenu());
    list->openMenu()->close();

    const QImage unfocused = list->cleanUpButton()->grab().toImage();
    QStringList order;
    for (QWidget *focused = tab(); focused != list && order.size() < 6; focused = tab())
        order << (qobject_cast<QAbstractButton *>(focused)
                      ? qobject_cast<QAbstractButton *>(focused)->text()
                      : QString::fromLatin1(focused->metaObject()->className()));
    EXPECT_EQ(order.join(" | "), "Opruimen… | Extensies… | dorvel.wex");
    tab();
    EXPECT_EQ(QApplication::focusWidget(), list->cleanUpButton());
    // The button shows that it has the focus, in both appearances.
    for (const QPalette &palette : {lightPalette(), darkPalette()}) {
        list->cleanUpButton()->setPalette(palette);
        EXPECT_NE(list->cleanUpButton()->grab().toImage(), unfocused);
    }
    QTest::keyClick(list->cleanUpButton(), Qt::Key_Space);
    ASSERT_TRUE(shelf->reviewing());

    // The review: its rows, the tick of a group that is partly ticked, its Tab order.
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->reviewSheet(); }, 5000));
    ReviewSheet *sheet = window->reviewSheet();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return sheet->listFilled() && sheet->model().sizesKnown(); }, 5000));
    ReviewListModel &model = sheet->model();
    model.toggle(model.fileIndex(oud));

    QAccessibleInterface *review = QAccessible::queryAccessibleInterface(&sheet->view());
    const auto reviewRow = [&](const QModelIndex &index) -> QAccessibleInterface * {
        for (int at = 0; at < review->childCount(); ++at)
            if (QAccessibleInterface *cell = review->child(at);
                cell->text(QAccessible::Name) == index.data().toString())
                return cell;
        return nullptr;
    };
    const struct {
        QModelIndex index;
        QString description;
        bool checked;
    } reviewCases[] = {
        {model.groupIndex(oud.parent_path()), "~, deels aangevinkt", false},
        {model.fileIndex(oud), "~/Bureaublad, " + sheet->sizeText(oud), false},
        {model.fileIndex(ouder), "~/Bureaublad, " + sheet->sizeText(ouder), true},
    };
    for (const auto &c : reviewCases) {
        SCOPED_TRACE(c.index.data().toString().toStdString());
        QAccessibleInterface *cell = reviewRow(c.index);
        ASSERT_TRUE(cell);
        EXPECT_EQ(cell->text(QAccessible::Description), c.description);
        EXPECT_TRUE(cell->state().checkable);
        EXPECT_EQ(bool(cell->state().checked), c.checked);
    }
    sheet->view().setFocus();
    EXPECT_EQ(tab(), sheet->laterButton());
    EXPECT_EQ(tab(), sheet->trashButton());
    EXPECT_EQ(tab(), &sheet->view());
}

} // namespace
