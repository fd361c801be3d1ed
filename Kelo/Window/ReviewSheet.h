#pragma once

#include <QDialog>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "Shelf.h"
#include "ShelfOrder.h"

class QLabel;
class QPushButton;
template <typename T> class QFutureWatcher;

namespace kelo {

class ReviewListModel;
class ReviewListView;
class TabularLabel;
struct ReviewListUpdate;

// The review: every expired file on the shelf, grouped by folder, each with a checkbox that
// starts ticked. The Trash button moves the ticked ones to the Trash; "Later" moves nothing.
// A window-modal sheet over the shelf window; closing it, by any means, ends the shelf's review.
// The files are grouped on a worker thread: the sheet opens at once with their number, and its
// list fills in when the groups are made. Sizes are counted by the shelf's disk usage while the
// sheet is open and fill in as they come.
class ReviewSheet : public QDialog {
    Q_OBJECT

public:
    explicit ReviewSheet(Shelf &shelf, QWidget *parent = nullptr);
    ~ReviewSheet() override;

    // What is listed, copied: the expired files by folder; nothing before the first grouping.
    std::vector<FolderGroup> groups() const;
    // Whether the list shows the shelf's expired files: not while they are being grouped.
    bool listFilled() const;
    ReviewListModel &model() const { return *m_model; }
    ReviewListView &view() const { return *m_view; }

    // Whether a file is listed and ticked; the check state of a folder group.
    bool isTicked(const std::filesystem::path &file) const;
    Qt::CheckState groupState(const std::filesystem::path &folder) const;
    // A listed file's allocated size, none while it is being counted.
    std::optional<std::int64_t> fileSize(const std::filesystem::path &file) const;
    // The size as its row shows it; empty for a file that is not listed.
    QString sizeText(const std::filesystem::path &file) const;
    // The listed files that are ticked, and their total size as far as it is known. Before the
    // first list, all the files expired at the opening count.
    int tickedCount() const;
    std::int64_t tickedTotal() const;

    // "2 van 3 · 4,2 MB", or "2 van 3 · 4,2 MB, telt nog…" while a ticked size is unknown.
    QString summaryText() const;
    QPushButton *laterButton() const { return m_later; }
    QPushButton *trashButton() const { return m_trash; }

protected:
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    using Grouping = QFutureWatcher<ReviewListUpdate>;

    // Has the shelf's expired files grouped anew, unless they are the ones listed or asked for.
    void reload();
    void takeList(Grouping *grouping);
    void cancelGrouping();
    void wantSizes();
    void updateColors();
    void updateFooter();
    void moveTickedToTrash();

    Shelf &m_shelf;
    ReviewListModel *m_model = nullptr;
    // The files expired at the opening, all ticked: until the first list is shown they are what
    // the footer counts and the Trash button moves.
    Shelf::Run m_atOpen;
    // The expired files last given to a grouping, and the grouping while it runs.
    Shelf::Run m_asked;
    Grouping *m_grouping = nullptr;
    // The ticks of the list shown when the grouping was asked for: what changed since carries
    // over to the new list.
    std::shared_ptr<const std::vector<char>> m_askedTicks;
    bool m_trashing = false;
    // Between the sheet's closing and its showing again, it wants no sizes counted.
    bool m_closed = false;

    QLabel *m_symbol = nullptr;
    QLabel *m_title = nullptr;
    QLabel *m_text = nullptr;
    ReviewListView *m_view = nullptr;
    TabularLabel *m_summary = nullptr;
    QPushButton *m_later = nullptr;
    QPushButton *m_trash = nullptr;
};

} // namespace kelo
