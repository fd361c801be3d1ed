#pragma once

#include <QDialog>

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <vector>

#include "FileIcons.h"
#include "ShelfOrder.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QScrollArea;

namespace kelo {

class Shelf;
class TabularLabel;

// The review: every expired file on the shelf, grouped by folder, each with a checkbox that
// starts ticked. The Trash button moves the ticked ones to the Trash; "Later" moves nothing.
// A window-modal sheet over the shelf window; closing it, by any means, ends the shelf's review.
class ReviewSheet : public QDialog {
    Q_OBJECT

public:
    explicit ReviewSheet(Shelf &shelf, QWidget *parent = nullptr);
    ~ReviewSheet() override;

    // What is listed: the expired files by folder, with their allocated sizes.
    const std::vector<FolderGroup> &groups() const { return m_groups; }
    std::int64_t fileSize(const std::filesystem::path &file) const;
    // The listed files that are ticked, and their total size.
    int tickedCount() const;
    std::int64_t tickedTotal() const;

    // "2 van 3 · 4,2 MB".
    QString summaryText() const;
    QPushButton *laterButton() const { return m_later; }
    QPushButton *trashButton() const { return m_trash; }
    // The checkbox of a listed file or folder group, or null.
    QCheckBox *fileCheckBox(const std::filesystem::path &file) const;
    QCheckBox *groupCheckBox(const std::filesystem::path &folder) const;
    // The size text of a listed file, and the header row of a folder group (its labels read
    // the folder's name and the folder that holds it).
    QString sizeText(const std::filesystem::path &file) const;
    QWidget *groupHeader(const std::filesystem::path &folder) const;

protected:
    void changeEvent(QEvent *event) override;

private:
    void reload();
    void rebuildList();
    void updateColors();
    void updateChecks();
    void updateFooter();
    void setTicked(const std::filesystem::path &file, bool ticked);
    void setGroupTicked(const FolderGroup &group, bool ticked);
    void moveTickedToTrash();

    Shelf &m_shelf;
    std::vector<FolderGroup> m_groups;
    std::map<std::filesystem::path, std::int64_t> m_sizes;
    // Kept across reloads while the sheet is open; only the listed ones count.
    std::set<std::filesystem::path> m_selected;
    bool m_trashing = false;
    FileIcons m_icons;

    QLabel *m_symbol = nullptr;
    QLabel *m_title = nullptr;
    QLabel *m_text = nullptr;
    QScrollArea *m_scroll = nullptr;
    std::map<std::filesystem::path, QCheckBox *> m_fileBoxes;
    std::map<std::filesystem::path, QCheckBox *> m_groupBoxes;
    std::map<std::filesystem::path, TabularLabel *> m_sizeLabels;
    std::map<std::filesystem::path, QWidget *> m_groupHeaders;
    TabularLabel *m_summary = nullptr;
    QPushButton *m_later = nullptr;
    QPushButton *m_trash = nullptr;
};

} // namespace kelo
