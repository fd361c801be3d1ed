#include "IndexTestSupport.h"

#include "ExpiryStamp.h"
#include "TagQuery.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <fstream>

namespace fs = std::filesystem;

namespace {

kelo::TagIndex::Options optionsFor(const fs::path &root) {
    kelo::TagIndex::Options options;
    options.scope.roots.push_back({root, true});
    return options;
}

size_t count(const std::shared_ptr<const kelo::TagIndex::Paths> &paths) {
    return paths ? paths->size() : 0;
}

} // namespace

TEST(TagQuery, SignalsArriveOnTheQueryThreadAndResultsHoldStillWhileDisabled) {
    TemporaryFolder folder;
    const auto first = folder.file("een.txt");
    const auto second = folder.file("twee.txt");
    tag(first);

    kelo::TagQuery query(optionsFor(folder.path()));
    QSignalSpy gathered(&query, &kelo::TagQuery::finishedGathering);
    QSignalSpy updated(&query, &kelo::TagQuery::updated);
    QThread *signalThread = nullptr;
    QObject::connect(&query, &kelo::TagQuery::updated, &query,
                     [&] { signalThread = QThread::currentThread(); });
    query.startQuery();
    ASSERT_TRUE(gathered.wait(5000));
    EXPECT_EQ(count(query.results()), 1u);

    query.disableUpdates();
    query.disableUpdates();
    const auto frozen = query.results();
    ASSERT_FALSE(kelo::writeStamp(kelo::currentInstant(), second));
    // Long enough for the index to see the change and report it.
    QTest::qWait(300);
    EXPECT_EQ(updated.count(), 0);
    EXPECT_EQ(query.results(), frozen);
    EXPECT_EQ(count(query.results()), 1u);

    query.enableUpdates();
    EXPECT_EQ(updated.count(), 0) << "still disabled once";
    query.enableUpdates();
    EXPECT_EQ(updated.count(), 1);
    EXPECT_EQ(count(query.results()), 2u);

    ASSERT_FALSE(kelo::clearStamp(first));
    ASSERT_TRUE(updated.wait(5000));
    EXPECT_EQ(count(query.results()), 1u);
    EXPECT_EQ(signalThread, QThread::currentThread());
}
