#include "ShelfListModel.h"

#include "FolderText.h"
#include "FreshnessStyle.h"

#include <limits>

namespace kelo {

ShelfListModel::ShelfListModel(Shelf &shelf, QObject *parent)
    : QAbstractListModel(parent), m_shelf(shelf) {
    connect(&m_shelf, &Shelf::itemsChanged, this, &ShelfListModel::rebuild);
    rebuild();
}

void ShelfListModel::rebuild() {
    beginResetModel();
    m_sectionCount = 0;
    qsizetype firstItem = 0;
    qsizetype rows = 0;
    // The classes follow the dates, so each is one run of the shelf order, and the runs come in
    // the order of the sections. The last run is what the others leave: asking for it would copy
    // what is usually the longest run.
    const auto total = static_cast<qsizetype>(m_shelf.items().size());
    for (const Freshness freshness : allFreshnesses) {
        const auto count = freshness == Freshness::fresh
                               ? total - firstItem
                               : static_cast<qsizetype>(m_shelf.items(freshness).size());
        if (count == 0)
            continue;
        m_sections[static_cast<size_t>(m_sectionCount++)] = {freshness, static_cast<int>(rows),
                                                             firstItem, count};
        firstItem += count;
        rows += count + 1;
    }
    m_rowCount = static_cast<int>(std::min<qsizetype>(rows, std::numeric_limits<int>::max()));
    endResetModel();
}

ShelfListModel::Row ShelfListModel::row(int row) const {
    for (int s = m_sectionCount - 1; s >= 0; --s) {
        const Section &section = m_sections[static_cast<size_t>(s)];
        if (row < section.firstRow)
            continue;
        if (row == section.firstRow)
            return {RowKind::header, section.freshness, section.count, -1};
        return {RowKind::item, section.freshness, section.count,
                section.firstItem + (row - section.firstRow - 1)};
    }
    return {};
}

const Shelf::Item *ShelfListModel::item(const QModelIndex &index) const {
    if (!index.isValid() || index.model() != this || index.row() >= m_rowCount)
        return nullptr;
    const Row found = row(index.row());
    const auto &items = m_shelf.items();
    if (found.kind != RowKind::item || found.itemIndex >= static_cast<qsizetype>(items.size()))
        return nullptr;
    return &items[static_cast<size_t>(found.itemIndex)];
}

bool ShelfListModel::isHeader(const QModelIndex &index) const {
    return index.isValid() && index.row() < m_rowCount && row(index.row()).kind == RowKind::header;
}

int ShelfListModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : m_rowCount;
}

QVariant ShelfListModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || index.row() >= m_rowCount)
        return {};
    const Row found = row(index.row());
    switch (role) {
    case KindRole:
        return static_cast<int>(found.kind);
    case FreshnessRole:
        return static_cast<int>(found.freshness);
    case CountRole:
        return static_cast<qlonglong>(found.count);
    case ItemIndexRole:
        return static_cast<qlonglong>(found.itemIndex);
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        if (found.kind == RowKind::header)
            return sectionTitle(found.freshness);
        if (const Shelf::Item *shown = item(index))
            return displayText(shown->path.filename());
        return {};
    case Qt::ToolTipRole:
        if (const Shelf::Item *shown = item(index))
            return displayText(shown->path);
        return {};
    default:
        return {};
    }
}

Qt::ItemFlags ShelfListModel::flags(const QModelIndex &index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    // Headers take clicks (their button) but are never selected.
    return isHeader(index) ? Qt::ItemIsEnabled : Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

} // namespace kelo
