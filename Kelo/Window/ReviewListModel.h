#pragma once

#include <QAbstractItemModel>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "ShelfOrder.h"

namespace kelo {

class DiskUsage;

// The review's list as a tree of two levels: a row per folder group, under it a row per expired
// file, each checkable. A group is ticked when all its files are, mixed when some are. Sizes
// come from the shelf's disk usage as they become known; nothing here reads the disk.
class ReviewListModel : public QAbstractItemModel {
    Q_OBJECT

public:
    enum Role {
        // The folder that holds a group's folder, as FolderText writes it ("~/Downloads").
        ParentFolderRole = Qt::UserRole + 1,
        // A file's size as shown: its allocated size, or a dash while it is not known.
        SizeTextRole,
    };

    explicit ReviewListModel(DiskUsage &usage, QObject *parent = nullptr);

    // Lists the groups anew. A file listed before keeps its tick; one that was not gets
    // `tickNew`.
    void setGroups(std::vector<FolderGroup> groups, bool tickNew);
    const std::vector<FolderGroup> &groups() const { return m_groups; }

    bool isGroup(const QModelIndex &index) const;
    // The file of a file row, or null.
    const std::filesystem::path *file(const QModelIndex &index) const;
    // The folder of a group row, or null.
    const std::filesystem::path *folder(const QModelIndex &index) const;
    // The row of a listed file or folder group; invalid when it is not listed.
    QModelIndex fileIndex(const std::filesystem::path &file) const;
    QModelIndex groupIndex(const std::filesystem::path &folder) const;

    Qt::CheckState checkState(const QModelIndex &index) const;
    // A click on a row: a file flips; a group ticks all its files unless all were ticked.
    void toggle(const QModelIndex &index);

    // The ticked files, in list order.
    std::vector<std::filesystem::path> tickedFiles() const;
    qsizetype fileCount() const { return static_cast<qsizetype>(m_ticked.size()); }
    qsizetype tickedCount() const;
    // The known sizes of the ticked files added up, and whether one of them is still unknown.
    std::int64_t tickedTotal() const;
    bool tickedTotalPending() const;
    // Whether every listed file's size is known.
    bool sizesKnown() const;
    std::optional<std::int64_t> size(const QModelIndex &index) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

signals:
    // A tick or a size changed, or the list did: the totals may read differently.
    void totalsChanged();

private:
    // Index into the flat per-file arrays, or -1 for a group row or an invalid index.
    qsizetype flatIndex(const QModelIndex &index) const;
    void setGroupTicked(int group, bool ticked);
    void countGroup(int group);
    void takeSizes(bool all);

    DiskUsage &m_usage;
    std::vector<FolderGroup> m_groups;
    // Where each group's files start in the flat arrays.
    std::vector<qsizetype> m_firstFile;
    std::vector<qsizetype> m_tickedInGroup;
    // Per file, in list order.
    std::vector<char> m_ticked;
    // -1 while not known.
    std::vector<std::int64_t> m_sizes;
};

} // namespace kelo
