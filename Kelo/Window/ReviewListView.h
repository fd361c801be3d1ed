#pragma once

#include <QPersistentModelIndex>
#include <QTreeView>

#include <filesystem>

namespace kelo {

class ReviewListModel;

// The review's list: folder groups, always expanded, each followed by its files, one painted
// row apiece and all of one height, so that only the rows on screen cost anything. A click
// anywhere on a row toggles it, as Space does the current row; Return and Escape are left to
// the sheet.
class ReviewListView : public QTreeView {
    Q_OBJECT

public:
    explicit ReviewListView(ReviewListModel &model, QWidget *parent = nullptr);
    ~ReviewListView() override;

    ReviewListModel &listModel() const { return m_model; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    ReviewListModel &m_model;
    QPersistentModelIndex m_pressed;
    // The current row and the scroll position, kept across a new list.
    std::filesystem::path m_keptCurrent;
    bool m_keptGroup = false;
    int m_keptScroll = 0;
};

} // namespace kelo
