#include "ReviewListModel.h"

#include "ByteCount.h"
#include "DiskUsage.h"
#include "FolderText.h"

#include <algorithm>
#include <string>
#include <unordered_map>

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
    connect(&m_usage, &DiskUsage::sizesChanged, this, [this] {
        // While the usage is busy only new sizes come in; when it is done, all are taken again,
        // for a size measured anew after its file changed.
        takeSizes(!m_usage.busy());
    });
}

void ReviewListModel::setGroups(std::vector<FolderGroup> groups, bool tickNew) {
    std::unordered_map<std::string, char> previous;
    previous.reserve(m_ticked.size());
    for (std::size_t g = 0; g < m_groups.size(); ++g)
        for (std::size_t f = 0; f < m_groups[g].files.size(); ++f)
            previous.emplace(m_groups[g].files[f].native(),
                             m_ticked[static_cast<std::size_t>(m_firstFile[g]) + f]);

    beginResetModel();
    m_groups = std::move(groups);
    m_firstFile.clear();
    m_ticked.clear();
    qsizetype first = 0;
    for (const FolderGroup &group : m_groups) {
        m_firstFile.push_back(first);
        first += static_cast<qsizetype>(group.files.size());
    }
    m_ticked.reserve(static_cast<std::size_t>(first));
    for (const FolderGroup &group : m_groups)
        for (const fs::path &file : group.files) {
            const auto found = previous.find(file.native());
            m_ticked.push_back(found == previous.end() ? static_cast<char>(tickNew)
                                                       : found->second);
        }
    m_tickedInGroup.assign(m_groups.size(), 0);
    for (std::size_t g = 0; g < m_groups.size(); ++g)
        countGroup(static_cast<int>(g));
    m_sizes.assign(m_ticked.size(), -1);
    takeSizes(true);
    endResetModel();
    emit totalsChanged();
}

void ReviewListModel::takeSizes(bool all) {
    bool changed = false;
    std::size_t flat = 0;
    for (const FolderGroup &group : m_groups)
        for (const fs::path &file : group.files) {
            std::int64_t &shown = m_sizes[flat++];
            if (shown >= 0 && !all)
                continue;
            const auto bytes = m_usage.size(file);
            if (bytes && *bytes != shown) {
                shown = *bytes;
                changed = true;
            }
        }
    if (!changed)
        return;
    for (std::size_t g = 0; g < m_groups.size(); ++g) {
        const QModelIndex group = index(static_cast<int>(g), 0);
        const int last = rowCount(group) - 1;
        if (last >= 0)
            emit dataChanged(index(0, 0, group), index(last, 0, group), {SizeTextRole});
    }
    emit totalsChanged();
}

bool ReviewListModel::isGroup(const QModelIndex &index) const {
    return index.isValid() && index.model() == this && index.internalId() == groupId;
}

qsizetype ReviewListModel::flatIndex(const QModelIndex &index) const {
    if (!index.isValid() || index.model() != this || index.internalId() == groupId)
        return -1;
    return m_firstFile[index.internalId() - 1] + index.row();
}

const fs::path *ReviewListModel::file(const QModelIndex &index) const {
    if (flatIndex(index) < 0)
        return nullptr;
    return &m_groups[index.internalId() - 1].files[static_cast<std::size_t>(index.row())];
}

const fs::path *ReviewListModel::folder(const QModelIndex &index) const {
    return isGroup(index) ? &m_groups[static_cast<std::size_t>(index.row())].folder : nullptr;
}

QModelIndex ReviewListModel::fileIndex(const fs::path &file) const {
    for (std::size_t g = 0; g < m_groups.size(); ++g) {
        const auto &files = m_groups[g].files;
        const auto found = std::find_if(files.begin(), files.end(), [&](const fs::path &listed) {
            return listed.native() == file.native();
        });
        if (found != files.end())
            return createIndex(static_cast<int>(found - files.begin()), 0, g + 1);
    }
    return {};
}

QModelIndex ReviewListModel::groupIndex(const fs::path &folder) const {
    const auto found = std::find_if(m_groups.begin(), m_groups.end(), [&](const FolderGroup &g) {
        return g.folder.native() == folder.native();
    });
    return found == m_groups.end() ? QModelIndex()
                                   : index(static_cast<int>(found - m_groups.begin()), 0);
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
    return ticked == static_cast<qsizetype>(m_groups[g].files.size()) ? Qt::Checked
                                                                      : Qt::PartiallyChecked;
}

void ReviewListModel::toggle(const QModelIndex &index) {
    if (isGroup(index) || file(index))
        setData(index, checkState(index) == Qt::Checked ? Qt::Unchecked : Qt::Checked,
                Qt::CheckStateRole);
}

void ReviewListModel::countGroup(int group) {
    const auto g = static_cast<std::size_t>(group);
    const auto first = m_ticked.begin() + m_firstFile[g];
    m_tickedInGroup[g] =
        std::count(first, first + static_cast<qsizetype>(m_groups[g].files.size()), char(true));
}

void ReviewListModel::setGroupTicked(int group, bool ticked) {
    const auto g = static_cast<std::size_t>(group);
    const auto first = m_ticked.begin() + m_firstFile[g];
    std::fill(first, first + static_cast<qsizetype>(m_groups[g].files.size()), char(ticked));
    countGroup(group);
}

std::vector<fs::path> ReviewListModel::tickedFiles() const {
    std::vector<fs::path> ticked;
    std::size_t flat = 0;
    for (const FolderGroup &group : m_groups)
        for (const fs::path &file : group.files)
            if (m_ticked[flat++])
                ticked.push_back(file);
    return ticked;
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
        return row < static_cast<int>(m_groups.size()) ? createIndex(row, 0, groupId)
                                                       : QModelIndex();
    if (!isGroup(parent))
        return {};
    const auto g = static_cast<std::size_t>(parent.row());
    if (static_cast<std::size_t>(row) >= m_groups[g].files.size())
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
        return static_cast<int>(m_groups.size());
    if (!isGroup(parent))
        return 0;
    return static_cast<int>(m_groups[static_cast<std::size_t>(parent.row())].files.size());
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
        case Qt::ToolTipRole:
            return displayText(*group);
        default:
            return {};
        }
    }
    if (const fs::path *shown = file(index)) {
        switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return displayText(shown->filename());
        case SizeTextRole: {
            const auto bytes = size(index);
            return bytes ? byteCountText(*bytes) : QStringLiteral("—");
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
    emit dataChanged(group, group, {Qt::CheckStateRole});
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
