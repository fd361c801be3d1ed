#include "ShelfWindow.h"

#include "Shelf.h"

#include <QAction>
#include <QVBoxLayout>

namespace kelo {

ShelfWindow::ShelfWindow(Shelf &shelf, QWidget *parent) : QWidget(parent), m_shelf(shelf) {
    setWindowTitle(QStringLiteral("Kelo"));
    resize(640, 520);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(&m_list);
    connect(&m_shelf, &Shelf::itemsChanged, this, &ShelfWindow::refresh);
    // Closing hides the window; Kelo stays in the tray.
    auto *close = new QAction(this);
    close->setShortcut(QKeySequence::Close);
    connect(close, &QAction::triggered, this, &QWidget::close);
    addAction(close);
    refresh();
}

void ShelfWindow::present() {
    show();
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    raise();
    activateWindow();
}

void ShelfWindow::refresh() {
    m_list.clear();
    const Calendar calendar = Calendar::current();
    const Instant now = currentInstant();
    for (const auto &item : m_shelf.items())
        m_list.addItem(QString::fromLocal8Bit(item.url.filename().native()) +
                       QStringLiteral(" — ") +
                       QString::fromStdString(daysLeftText(item.date, now, calendar)));
}

} // namespace kelo
