#pragma once

#include <QObject>

#include <memory>

#include "TagIndex.h"

namespace kelo {

// The tag index as the shelf sees it: the paths of every stamped file, a signal when the first
// gathering is done and one after each later batch of changes, all on the thread that owns the
// query. While updates are disabled the results hold still and `updated` waits.
class TagQuery : public QObject {
    Q_OBJECT

public:
    explicit TagQuery(TagIndex::Options options, QObject *parent = nullptr);
    ~TagQuery() override;

    void startQuery();
    // Nested calls balance: updates resume when the last disable is undone.
    void disableUpdates();
    void enableUpdates();
    std::shared_ptr<const TagIndex::Paths> results() const;
    // The results with the dates the index read; both lists hold still like the results.
    TagIndex::Found found() const;
    // What joined, left or changed between two versions of the found lists (TagIndex::changes).
    std::optional<std::vector<std::string>> changes(std::uint64_t from, std::uint64_t to) const {
        return m_index->changes(from, to);
    }
    // Whether the first gathering has finished (and `finishedGathering` has been signalled).
    bool gathered() const { return m_gathered; }

public slots:
    // Looks again at what inotify does not watch; the application calls it when it comes to
    // the front.
    void rescanUnwatched();

signals:
    void finishedGathering();
    void updated();

private:
    void indexUpdated();

    std::unique_ptr<TagIndex> m_index;
    int m_disabled = 0;
    bool m_updatePending = false;
    bool m_gathered = false;
    TagIndex::Found m_frozen;
};

} // namespace kelo
