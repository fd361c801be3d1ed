#include "ReviewListModel.h"

#include "ByteCount.h"
#include "DiskUsage.h"
#include "FolderText.h"
#include "ReviewList.h"

#include <algorithm>
#include <utility>

namespace kelo {

namespace fs = std::filesystem;

namespace {

// A group row's internal id; a file row's is its group's row plus one.
constexpr quintptr groupId = 0;

QString folderName(const fs::path &folder) {
    return folder.has_filename() ? displayText(folder.filename()) : displayText(folder);
}

} // namespace

ReviewListModel::ReviewListModel(DiskUsage &usage, QObject *parent)
    : QAbstractItemModel(parent), m_usage(usage) {
    connect(&m_usage, &DiskUsage::sizesChanged, this,
            [this](const std::vector<std::string> &changed) { takeSizes(changed); });
}

ReviewListModel::~ReviewListModel() {
    releaseInBackground(std::move(m_list));
}

void ReviewListModel::setList(std::shared_ptr<const ReviewList> list, std::vector<char> ticks) {
    beginResetModel();
    releaseInBackground(std::exchange(m_list, std::move(list)));
    m_ticked = std::move(ticks);
    m_ticked.resize(m_list ? m_list->fileCount() : 0);
    m_tickedInGroup.assign(groupCount(), 0);
    for (std::size_t g = 0; g < m_tickedInGroup.size(); ++g)
        countGroup(static_cast<int>(g));
    m_sizes.assign(m_ticked.size(), -1);
    takeAllSizes();
    endResetModel();
    emit totalsChanged();
}

std::vector<FolderGroup> ReviewListModel::groups() const {
    return m_list ? m_list->folderGroups() : std::vector<FolderGroup>();
}

std::size_t ReviewListModel::groupCount() const {
    return m_list ? m_list->folders.size() : 0;
}

qsizetype ReviewListModel::groupSize(std::size_t group) const {
    return static_cast<qsizetype>(m_list->groupSize(group));
}

void ReviewListModel::takeAllSizes() {
    for (std::size_t flat = 0; flat < m_sizes.size(); ++flat)
        m_sizes[flat] = m_usage.size((*m_list->paths)[flat]).value_or(-1);
}

// Only the sizes that changed: the list may be long, and they come in many small batches.
void ReviewListModel::takeSizes(const std::vector<std::string> &changed) {
    if (!m_list)
        return;
    std::vector<std::size_t> places;
    for (const std::string &item : changed) {
        const auto place = m_list->place(item);
        const auto bytes = place ? m_usage.size(item) : std::nullopt;
        if (!bytes || m_sizes[*place] == *bytes)
            continue;
        m_sizes[*place] = *bytes;
        places.push_back(*place);
    }
    if (places.empty())
        return;
    // One change per group, from its first changed row to its last.
    std::sort(places.begin(), places.end());
    for (auto first = places.begin(); first != places.end();) {
        const std::size_t g = m_list->groupOf(*first);
        const std::size_t end = m_list->firstFile[g] + m_list->groupSize(g);
        const auto last = std::lower_bound(first, places.end(), end) - 1;
        const QModelIndex group = index(static_cast<int>(g), 0);
        emit dataChanged(index(static_cast<int>(*first - m_list->firstFile[g]), 0, group),
                         index(static_cast<int>(*last - m_list->firstFile[g]), 0, group),
                         {SizeTextRole, Qt::AccessibleDescriptionRole});
        first = last + 1;
    }
    emit totalsChanged();
}

bool ReviewListModel::isGroup(const QModelIndex &index) const {
    return index.isValid() && index.model() == this && index.internalId() == groupId;
}

qsizetype ReviewListModel::flatIndex(const QModelIndex &index) const {
    if (!index.isValid() || index.model() != this || index.internalId() == groupId)
        return -1;
    return static_cast<qsizetype>(m_list->firstFile[index.internalId() - 1]) + index.row();
}

const std::string *ReviewListModel::file(const QModelIndex &index) const {
    if (flatIndex(index) < 0)
        return nullptr;
    return &m_list->file(static_cast<std::size_t>(flatIndex(index)));
}

const fs::path *ReviewListModel::folder(const QModelIndex &index) const {
    return isGroup(index) ? &m_list->folders[static_cast<std::size_t>(index.row())] : nullptr;
}

QModelIndex ReviewListModel::fileIndex(const fs::path &file) const {
    const auto place = m_list ? m_list->place(file.native()) : std::nullopt;
    if (!place)
        return {};
    const std::size_t g = m_list->groupOf(*place);
    return createIndex(static_cast<int>(*place - m_list->firstFile[g]), 0, g + 1);
}

QModelIndex ReviewListModel::groupIndex(const fs::path &folder) const {
    if (!m_list)
        return {};
    const auto &all = m_list->folders;
    const auto found = std::find_if(all.begin(), all.end(), [&](const fs::path &listed) {
        return listed.native() == folder.native();
    });
    return found == all.end() ? QModelIndex() : index(static_cast<int>(found - all.begin()), 0);
}

Qt::CheckState ReviewListModel::checkState(const QModelIndex &index) const {
    if (const qsizetype flat = flatIndex(index); flat >= 0)
        return m_ticked[static_cast<std::size_t>(flat)] ? Qt::Checked : Qt::Unchecked;
    if (!isGroup(index))
        return Qt::Unchecked;
    const auto g = static_cast<std::size_t>(index.row());
    const qsizetype ticked = m_tickedInGroup[g];
    if (ticked == 0)
        return Qt::Unchecked;
    return ticked == groupSize(g) ? Qt::Checked : Qt::PartiallyChecked;
}

void ReviewListModel::toggle(const QModelIndex &index) {
    if (isGroup(index) || file(index))
        setData(index, checkState(index) == Qt::Checked ? Qt::Unchecked : Qt::Checked,
                Qt::CheckStateRole);
}

void ReviewListModel::countGroup(int group) {
    const auto g = static_cast<std::size_t>(group);
    const auto first = m_ticked.begin() + static_cast<qsizetype>(m_list->firstFile[g]);
    m_tickedInGroup[g] = std::count(first, first + groupSize(g), char(true));
}

void ReviewListModel::setGroupTicked(int group, bool ticked) {
    const auto g = static_cast<std::size_t>(group);
    const auto first = m_ticked.begin() + static_cast<qsizetype>(m_list->firstFile[g]);
    std::fill(first, first + groupSize(g), char(ticked));
    countGroup(group);
}

bool ReviewListModel::isTicked(std::string_view file) const {
    const auto place = m_list ? m_list->place(file) : std::nullopt;
    return place && m_ticked[*place];
}

qsizetype ReviewListModel::tickedCount() const {
    return std::count(m_ticked.begin(), m_ticked.end(), char(true));
}

std::int64_t ReviewListModel::tickedTotal() const {
    std::int64_t total = 0;
    for (std::size_t flat = 0; flat < m_ticked.size(); ++flat)
        if (m_ticked[flat] && m_sizes[flat] > 0)
            total += m_sizes[flat];
    return total;
}

bool ReviewListModel::tickedTotalPending() const {
    for (std::size_t flat = 0; flat < m_ticked.size(); ++flat)
        if (m_ticked[flat] && m_sizes[flat] < 0)
            return true;
    return false;
}

bool ReviewListModel::sizesKnown() const {
    return std::none_of(m_sizes.begin(), m_sizes.end(),
                        [](std::int64_t bytes) { return bytes < 0; });
}

std::optional<std::int64_t> ReviewListModel::size(const QModelIndex &index) const {
    const qsizetype flat = flatIndex(index);
    if (flat < 0 || m_sizes[static_cast<std::size_t>(flat)] < 0)
        return std::nullopt;
    return m_sizes[static_cast<std::size_t>(flat)];
}

QModelIndex ReviewListModel::index(int row, int column, const QModelIndex &parent) const {
    if (row < 0 || column != 0)
        return {};
    if (!parent.isValid())
        return row < static_cast<int>(groupCount()) ? createIndex(row, 0, groupId) : QModelIndex();
    if (!isGroup(parent))
        return {};
    const auto g = static_cast<std::size_t>(parent.row());
    if (row >= groupSize(g))
        return {};
    return createIndex(row, 0, g + 1);
}

QModelIndex ReviewListModel::parent(const QModelIndex &child) const {
    if (!child.isValid() || child.internalId() == groupId)
        return {};
    return createIndex(static_cast<int>(child.internalId() - 1), 0, groupId);
}

int ReviewListModel::rowCount(const QModelIndex &parent) const {
    if (!parent.isValid())
        return static_cast<int>(groupCount());
    if (!isGroup(parent))
        return 0;
    return static_cast<int>(groupSize(static_cast<std::size_t>(parent.row())));
}

int ReviewListModel::columnCount(const QModelIndex &) const {
    return 1;
}

QVariant ReviewListModel::data(const QModelIndex &index, int role) const {
    if (role == Qt::CheckStateRole)
        return isGroup(index) || file(index) ? QVariant(static_cast<int>(checkState(index)))
                                             : QVariant();
    if (const fs::path *group = folder(index)) {
        switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return folderName(*group);
        case ParentFolderRole:
            return folderText(group->parent_path());
        case Qt::AccessibleDescriptionRole:
            // Qt's item views tell a checkbox ticked or not, never partly.
            if (checkState(index) == Qt::PartiallyChecked)
                return tr("%1, deels aangevinkt").arg(folderText(group->parent_path()));
            return folderText(group->parent_path());
        case Qt::ToolTipRole:
            return displayText(*group);
        default:
            return {};
        }
    }
    if (const std::string *shown = file(index)) {
        switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return displayText(fs::path(*shown).filename());
        case SizeTextRole: {
            const auto bytes = size(index);
            return bytes ? byteCountText(*bytes) : QStringLiteral("—");
        }
        case Qt::AccessibleDescriptionRole: {
            // The group it stands under, then its size; one still being counted goes unsaid.
            const QString group = folderText(fs::path(*shown).parent_path());
            const auto bytes = size(index);
            return bytes ? QStringLiteral("%1, %2").arg(group, byteCountText(*bytes)) : group;
        }
        default:
            return {};
        }
    }
    return {};
}

bool ReviewListModel::setData(const QModelIndex &index, const QVariant &value, int role) {
    if (role != Qt::CheckStateRole)
        return false;
    const bool ticked = value.toInt() == Qt::Checked;
    QModelIndex group;
    if (isGroup(index)) {
        group = index;
        setGroupTicked(index.row(), ticked);
        const int last = rowCount(group) - 1;
        if (last >= 0)
            emit dataChanged(this->index(0, 0, group), this->index(last, 0, group),
                             {Qt::CheckStateRole});
    } else if (const qsizetype flat = flatIndex(index); flat >= 0) {
        group = parent(index);
        m_ticked[static_cast<std::size_t>(flat)] = ticked;
        countGroup(group.row());
        emit dataChanged(index, index, {Qt::CheckStateRole});
    } else {
        return false;
    }
    emit dataChanged(group, group, {Qt::CheckStateRole, Qt::AccessibleDescriptionRole});
    emit totalsChanged();
    return true;
}

Qt::ItemFlags ReviewListModel::flags(const QModelIndex &index) const {
    if (!isGroup(index) && !file(index))
        return Qt::NoItemFlags;
    // Said of files, so that expanding every group does not look inside each of them.
    const Qt::ItemFlags row = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
    return isGroup(index) ? row : row | Qt::ItemNeverHasChildren;
}

} // namespace kelo
