#pragma once

#include <QListWidget>
#include <QWidget>

namespace kelo {

class Shelf;

// The one shelf window, titled "Kelo": every stamped file by freshness.
class ShelfWindow : public QWidget {
    Q_OBJECT

public:
    explicit ShelfWindow(Shelf &shelf, QWidget *parent = nullptr);

    // Opens the window (there is only ever this one), raises it and gives it the focus.
    void present();

private:
    void refresh();

    Shelf &m_shelf;
    QListWidget m_list;
};

} // namespace kelo
