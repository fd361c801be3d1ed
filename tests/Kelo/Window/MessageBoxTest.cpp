// Message boxes put up from menu actions and buttons: each opens and returns at once, without an
// event loop of its own under the action.
#include "ErrorMessageBox.h"
#include "IntegrationDialog.h"

#include "TemporaryFolder.h"

#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <functional>

#include <gtest/gtest.h>

using namespace kelo;

namespace {

// The deepest event loop that ran inside `show` (0 for none); a box that runs one of its own is
// closed, so that it ends.
int loopsInside(const std::function<void()> &show) {
    int deepest = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        deepest = std::max(deepest, QThread::currentThread()->loopLevel());
        if (auto *box = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            box->reject();
    });
    timer.start(20);
    show();
    return deepest;
}

} // namespace

TEST(ErrorMessageBoxes, ShowOneAfterTheOtherAndPresentReturnsAtOnce) {
    ErrorMessageBox boxes;
    EXPECT_EQ(loopsInside([&] {
                  boxes.present(Error{ENOSPC, "Geen ruimte"}, "/map/een.txt");
                  boxes.present(Error{EACCES, "Geen toegang"}, "/map/twee.txt");
              }),
              0);
    const QPointer<QMessageBox> first = boxes.shown();
    ASSERT_TRUE(first && first->isVisible());
    EXPECT_EQ(first->text() + " " + first->informativeText(), "Geen ruimte een.txt");
    first->button(QMessageBox::Ok)->click();
    ASSERT_TRUE(boxes.shown() && boxes.shown() != first.data());
    EXPECT_EQ(boxes.shown()->text(), QStringLiteral("Geen toegang"));
    boxes.shown()->button(QMessageBox::Ok)->click();
    EXPECT_FALSE(boxes.shown());
}

// A menu that could not be switched on says why in a box that the click does not wait for.
TEST(IntegrationDialogBox, AFailureOpensAWarningWithoutAnEventLoop) {
    TemporaryFolder folder;
    const IntegrationPlaces places{QString::fromStdString(folder.path() / "home"),
                                   {QString::fromStdString(folder.path() / "system")},
                                   QString::fromStdString(folder.path() / "nautilus"),
                                   {}};
    IntegrationDialog dialog{FileManagerIntegration(places)};
    dialog.show();
    auto *dolphin = dialog.findChild<QPushButton *>(QStringLiteral("toggle-dolphin"));
    ASSERT_TRUE(dolphin);
    EXPECT_EQ(loopsInside([&] { dolphin->click(); }), 0);
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    ASSERT_TRUE(box && box->isVisible());
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    EXPECT_FALSE(box->text().isEmpty());
    box->button(QMessageBox::Ok)->click();
}
