#include "ShelfListModel.h"

#include "Clock.h"
#include "FolderText.h"
#include "FreshnessStyle.h"
#include "ShelfOrder.h"

#include "ExpiryStamp.h"
#include "Language.h"

#include <algorithm>
#include <limits>
#include <string>
#include <string_view>
#include <utility>

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

QModelIndex ShelfListModel::indexOfItem(qsizetype itemIndex) const {
    for (int s = 0; s < m_sectionCount; ++s) {
        const Section &section = m_sections[static_cast<size_t>(s)];
        const qsizetype offset = itemIndex - section.firstItem;
        if (offset >= 0 && offset < section.count && section.firstRow + 1 + offset < m_rowCount)
            return index(section.firstRow + 1 + static_cast<int>(offset));
    }
    return {};
}

QModelIndex ShelfListModel::indexOfPath(const std::filesystem::path &path, qsizetype hint) const {
    const auto &items = m_shelf.items();
    if (hint >= 0 && hint < static_cast<qsizetype>(items.size()) &&
        items[static_cast<size_t>(hint)].path == path)
        return indexOfItem(hint);
    // The file moved in the shelf order (a new date, files before it came or went): the order
    // finds it again, without going through every item.
    std::error_code ignored;
    const auto date =
        std::filesystem::exists(path, ignored) ? readStamp(path) : std::optional<Instant>();
    if (!date)
        return {};
    const std::string name = shelfNameKey(path.filename().native());
    const auto before = [](const Shelf::Item &item,
                           const std::pair<Instant, std::string_view> &key) {
        return item.date != key.first ? item.date < key.first
                                      : shelfNameKey(item.fileName()) < key.second;
    };
    for (auto at = std::lower_bound(items.begin(), items.end(),
                                    std::pair<Instant, std::string_view>(*date, name), before);
         at != items.end() && at->date == *date; ++at) {
        if (at->path == path)
            return indexOfItem(at - items.begin());
        if (shelfNameKey(at->fileName()) != name)
            break;
    }
    return {};
}

QString ShelfListModel::description(const Shelf::Item &item) {
    // What the row shows beside the name, the badge's date written out.
    const Calendar calendar = Calendar::current();
    return QStringLiteral("%1, %2, %3")
        .arg(folderText(item.folder()), daysLeftLabel(item.date, Clock::now(), calendar),
             QString::fromStdString(calendar.longDate(item.date, messageLanguage())));
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
        if (found.kind == RowKind::header)
            return sectionTitle(found.freshness);
        if (const Shelf::Item *shown = item(index))
            return displayText(std::filesystem::path(shown->fileName()));
        return {};
    case Qt::AccessibleTextRole:
        // A screen reader has no count beside the title to read.
        if (found.kind == RowKind::header)
            return found.count == 1
                       ? tr("%1, 1 bestand").arg(sectionTitle(found.freshness))
                       : tr("%1, %2 bestanden").arg(sectionTitle(found.freshness)).arg(found.count);
        if (const Shelf::Item *shown = item(index))
            return displayText(std::filesystem::path(shown->fileName()));
        return {};
    case Qt::AccessibleDescriptionRole:
        if (const Shelf::Item *shown = item(index))
            return description(*shown);
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
