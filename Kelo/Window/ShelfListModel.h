#pragma once

#include <QAbstractListModel>

#include <array>

#include "Freshness.h"
#include "Shelf.h"

namespace kelo {

// The shelf as one flat list: for each freshness class that has items, in the order expired,
// this week, this month, fresh, a header row followed by one row per item. Nothing is stored per
// row; a row is found from the four section runs, and its texts are made when it is drawn.
class ShelfListModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role {
        KindRole = Qt::UserRole + 1, // RowKind as int
        FreshnessRole,               // Freshness as int
        CountRole,                   // items in the row's section (qlonglong)
        ItemIndexRole,               // index into Shelf::items() (qlonglong), -1 for a header
    };
    enum class RowKind { header, item };

    struct Row {
        RowKind kind = RowKind::header;
        Freshness freshness = Freshness::expired;
        qsizetype count = 0;
        // Into Shelf::items(); -1 for a header.
        qsizetype itemIndex = -1;
    };

    explicit ShelfListModel(Shelf &shelf, QObject *parent = nullptr);

    Shelf &shelf() const { return m_shelf; }

    // Takes the sections anew from the shelf (also at midnight, when items change class).
    void rebuild();

    // The row at a model row; a valid row only.
    Row row(int row) const;
    // The item an item row shows, or none for a header or an invalid index.
    const Shelf::Item *item(const QModelIndex &index) const;
    bool isHeader(const QModelIndex &index) const;
    // The row of an item, by its place in Shelf::items(); invalid for none.
    QModelIndex indexOfItem(qsizetype itemIndex) const;
    // The row of the file, looked for at `hint` (its place in Shelf::items() before), then by
    // its date as the file says now and its name; invalid when the shelf does not hold it.
    QModelIndex indexOfPath(const std::filesystem::path &path, qsizetype hint) const;

    // What an item's row says besides its name, for screen readers: "~/Desktop, 3 dagen over de
    // datum, 2 november 2025". A header's accessible text is its title and count.
    static QString description(const Shelf::Item &item);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    struct Section {
        Freshness freshness;
        int firstRow;        // the header's row
        qsizetype firstItem; // into Shelf::items()
        qsizetype count;
    };

    Shelf &m_shelf;
    std::array<Section, 4> m_sections{};
    int m_sectionCount = 0;
    int m_rowCount = 0;
};

} // namespace kelo
