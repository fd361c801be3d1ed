#pragma once

#include <QCoreApplication>

#include <filesystem>
#include <functional>

#include "Shelf.h"

class QMenu;
class QWidget;

namespace kelo {

// What the row does to a file outside the shelf: open it, show it in the file manager.
struct FileOperations {
    std::function<void(const std::filesystem::path &)> open;
    std::function<void(const std::filesystem::path &)> reveal;

    // Opening with the desktop's default application, revealing in the file manager.
    static FileOperations desktop();
};

// The actions on one shelf row, offered both by the row's button and as its context menu:
// "Open", "Toon in map", the "Verlengen" terms, "Altijd houden", "Naar prullenbak".
class RowActions {
    Q_DECLARE_TR_FUNCTIONS(RowActions)

public:
    // A new menu for the item as it is now; every entry acts on that item, whatever the shelf
    // holds by the time it is chosen. The menu deletes itself when it closes.
    static QMenu *menu(const Shelf::Item &item, Shelf &shelf, const FileOperations &operations,
                       QWidget *parent);
};

} // namespace kelo
