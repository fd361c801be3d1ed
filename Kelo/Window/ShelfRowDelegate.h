#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QPair>
#include <QPersistentModelIndex>
#include <QStyledItemDelegate>

#include <optional>

#include "Calendar.h"
#include "FileIcons.h"
#include "Freshness.h"
#include "Shelf.h"

namespace kelo {

class ShelfListModel;

// Draws the rows of the shelf list, headers and items alike, without a widget per row, and
// answers clicks on the actions button of an item row and on the place of "Opruimen…" in the
// expired header (the view's button, over the row).
class ShelfRowDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    explicit ShelfRowDelegate(ShelfListModel &model, QObject *parent = nullptr);

    // What an item row shows, as it would be drawn now.
    struct ItemTexts {
        Freshness freshness = Freshness::fresh;
        QString name;
        QString folder;
        QString daysLeft;
        QColor daysLeftColor;
        QString dayMonth; // in upper case
        QString year;
        QColor badgeColor;
    };
    ItemTexts itemTexts(const Shelf::Item &item, const QPalette &palette) const;

    // The buttons of a row in the view's coordinates; empty where the row has none.
    QRect cleanUpButtonRect(const QStyleOptionViewItem &option, const QModelIndex &index) const;
    QRect actionsButtonRect(const QStyleOptionViewItem &option, const QModelIndex &index) const;
    // The font of "Opruimen…" in a list of the given font.
    QFont cleanUpFont(const QFont &base) const;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override;
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;

signals:
    // The actions button of an item row was clicked; `button` is in the view's coordinates.
    void actionsRequested(const QModelIndex &index, const QRect &button);

private:
    struct Fonts {
        QFont body;
        QFont headline;
        QFont subheadline;
        QFont caption;
        QFont callout;
        int headerHeight = 0;
        int itemHeight = 0;
    };
    const Fonts &fonts(const QFont &base) const;
    // The calendar and the moment rows are judged by: taken anew at most once a second, so a
    // paint of the whole view makes one of each.
    void refreshCalendar() const;
    QPair<QString, QString> badgeTexts(Instant date) const;
    QPixmap symbol(const QString &name, int size, const QColor &color, qreal ratio) const;

    void paintHeader(QPainter *painter, const QStyleOptionViewItem &option, Freshness freshness,
                     qsizetype count) const;
    void paintItem(QPainter *painter, const QStyleOptionViewItem &option,
                   const Shelf::Item &item) const;

    ShelfListModel &m_model;
    QPersistentModelIndex m_pressed;

    mutable std::optional<Fonts> m_fonts;
    mutable std::optional<Calendar> m_calendar;
    mutable std::string m_calendarKey;
    mutable Instant m_now{};
    mutable QElapsedTimer m_calendarAge;
    mutable QHash<qint64, QPair<QString, QString>> m_badgeTexts;
    mutable QHash<QString, QPixmap> m_symbols;
    mutable FileIcons m_icons;
};

} // namespace kelo
