#include "TagQuery.h"

#include <QMetaObject>
#include <QPointer>

namespace kelo {

TagQuery::TagQuery(TagIndex::Options options, QObject *parent) : QObject(parent) {
    // The index calls back on its own thread; the signals leave from this object's thread.
    m_index = std::make_unique<TagIndex>(
        std::move(options),
        [this] {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    m_gathered = true;
                    emit finishedGathering();
                },
                Qt::QueuedConnection);
        },
        [this] { QMetaObject::invokeMethod(this, &TagQuery::indexUpdated, Qt::QueuedConnection); });
}

// The index's thread stops before the object it calls back goes.
TagQuery::~TagQuery() {
    m_index.reset();
}

void TagQuery::startQuery() {
    m_index->start();
}

void TagQuery::disableUpdates() {
    if (m_disabled++ == 0)
        m_frozen = m_index->found();
}

void TagQuery::enableUpdates() {
    if (m_disabled == 0 || --m_disabled > 0)
        return;
    m_frozen = {};
    if (m_updatePending) {
        m_updatePending = false;
        emit updated();
    }
}

std::shared_ptr<const TagIndex::Paths> TagQuery::results() const {
    return m_disabled > 0 ? m_frozen.paths : m_index->results();
}

TagIndex::Found TagQuery::found() const {
    return m_disabled > 0 ? m_frozen : m_index->found();
}

void TagQuery::rescanUnwatched() {
    m_index->rescanUnwatched();
}

void TagQuery::indexUpdated() {
    if (m_disabled > 0) {
        m_updatePending = true;
        return;
    }
    emit updated();
}

} // namespace kelo
