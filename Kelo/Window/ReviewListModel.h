#pragma once

#include <QAbstractItemModel>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ShelfOrder.h"

namespace kelo {

class DiskUsage;
struct ReviewList;

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
    ~ReviewListModel() override;

    // Shows a list as the grouping made it, with each file's tick in list order.
    void setList(std::shared_ptr<const ReviewList> list, std::vector<char> ticks);
    // Whether a list is shown: there is none until the first grouping is done.
    bool filled() const { return m_list != nullptr; }
    const std::shared_ptr<const ReviewList> &list() const { return m_list; }
    // The groups with copies of their files: for a look at the list, not for every paint.
    std::vector<FolderGroup> groups() const;
    // Each listed file's tick, in list order.
    const std::vector<char> &ticks() const { return m_ticked; }

    bool isGroup(const QModelIndex &index) const;
    // The file of a file row, or null.
    const std::string *file(const QModelIndex &index) const;
    // The folder of a group row, or null.
    const std::filesystem::path *folder(const QModelIndex &index) const;
    // The row of a listed file or folder group; invalid when it is not listed.
    QModelIndex fileIndex(const std::filesystem::path &file) const;
    QModelIndex groupIndex(const std::filesystem::path &folder) const;

    Qt::CheckState checkState(const QModelIndex &index) const;
    // A click on a row: a file flips; a group ticks all its files unless all were ticked.
    void toggle(const QModelIndex &index);

    // Whether a file is listed and ticked.
    bool isTicked(std::string_view file) const;
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
    std::size_t groupCount() const;
    qsizetype groupSize(std::size_t group) const;
    void setGroupTicked(int group, bool ticked);
    void countGroup(int group);
    void takeAllSizes();
    void takeSizes(const std::vector<std::string> &changed);

    DiskUsage &m_usage;
    // The groups and files in list order, with where each group's files start in it.
    std::shared_ptr<const ReviewList> m_list;
    std::vector<qsizetype> m_tickedInGroup;
    // Per file, in list order.
    std::vector<char> m_ticked;
    // -1 while not known.
    std::vector<std::int64_t> m_sizes;
};

} // namespace kelo
