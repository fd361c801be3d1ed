#include "RowActions.h"

#include "FreshnessStyle.h"
#include "OpenFiles.h"

#include <QMenu>

namespace kelo {

FileOperations FileOperations::desktop() {
    return {openFile, revealFile};
}

QMenu *RowActions::menu(const Shelf::Item &item, Shelf &shelf, const FileOperations &operations,
                        QWidget *parent) {
    auto *menu = new QMenu(parent);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // Each entry keeps its own copy of the item: the shelf may change while the menu is open.
    menu->addAction(tr("Open"), menu, [item, open = operations.open] { open(item.path); });
    menu->addAction(tr("Toon in map"), menu,
                    [item, reveal = operations.reveal] { reveal(item.path); });
    menu->addSeparator();
    QMenu *extend = menu->addMenu(tr("Verlengen"));
    for (const Term term : allTerms) {
        const QString text = tr("%1 vanaf vandaag").arg(termLabel(term));
        extend->addAction(text, menu, [item, term, &shelf] {
            shelf.perform(Shelf::extend(item.path, term), item);
        });
    }
    menu->addAction(tr("Altijd houden"), menu,
                    [item, &shelf] { shelf.perform(Shelf::keepForever(item.path), item); });
    menu->addSeparator();
    menu->addAction(tr("Naar prullenbak"), menu, [item, &shelf] { shelf.trash({item}); });
    return menu;
}

} // namespace kelo
