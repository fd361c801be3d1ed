#pragma once

#include <QDialog>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "ShelfOrder.h"

class QLabel;
class QPushButton;

namespace kelo {

class ReviewListModel;
class ReviewListView;
class Shelf;
class TabularLabel;

// The review: every expired file on the shelf, grouped by folder, each with a checkbox that
// starts ticked. The Trash button moves the ticked ones to the Trash; "Later" moves nothing.
// A window-modal sheet over the shelf window; closing it, by any means, ends the shelf's review.
// Sizes are counted by the shelf's disk usage while the sheet is open and fill in as they come.
class ReviewSheet : public QDialog {
    Q_OBJECT

public:
    explicit ReviewSheet(Shelf &shelf, QWidget *parent = nullptr);
    ~ReviewSheet() override;

    // What is listed: the expired files by folder.
    const std::vector<FolderGroup> &groups() const;
    ReviewListModel &model() const { return *m_model; }
    ReviewListView &view() const { return *m_view; }

    // Whether a file is listed and ticked; the check state of a folder group.
    bool isTicked(const std::filesystem::path &file) const;
    Qt::CheckState groupState(const std::filesystem::path &folder) const;
    // A listed file's allocated size, none while it is being counted.
    std::optional<std::int64_t> fileSize(const std::filesystem::path &file) const;
    // The size as its row shows it; empty for a file that is not listed.
    QString sizeText(const std::filesystem::path &file) const;
    // The listed files that are ticked, and their total size as far as it is known.
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
    void reload();
    void wantSizes();
    void updateColors();
    void updateFooter();
    void moveTickedToTrash();

    Shelf &m_shelf;
    ReviewListModel *m_model = nullptr;
    // Whether the list was made once: files new after that start unticked.
    bool m_listed = false;
    // The expired files as last listed, in shelf order.
    std::vector<std::filesystem::path> m_files;
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
