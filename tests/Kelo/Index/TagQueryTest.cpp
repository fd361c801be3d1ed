#include "IndexTestSupport.h"

#include "ExpiryStamp.h"
#include "TagQuery.h"

#include <QSignalSpy>
#include <QTest>
#include <QThread>

TEST(TagQuery, SignalsArriveOnTheQueryThreadAndResultsHoldStillWhileDisabled) {
    TemporaryFolder folder;
    const auto first = folder.file("een.txt");
    const auto second = folder.file("twee.txt");
    tag(first);
    kelo::TagIndex::Options options;
    options.scope.roots.push_back({folder.path(), true});
    kelo::TagQuery query(std::move(options));
    const auto count = [&] { return query.results() ? query.results()->size() : 0; };
    QSignalSpy gathered(&query, &kelo::TagQuery::finishedGathering);
    QSignalSpy updated(&query, &kelo::TagQuery::updated);
    QThread *signalThread = nullptr;
    QObject::connect(&query, &kelo::TagQuery::updated, &query,
                     [&] { signalThread = QThread::currentThread(); });
    query.startQuery();
    ASSERT_TRUE(gathered.wait(5000));
    EXPECT_EQ(count(), 1u);

    query.disableUpdates();
    const auto frozen = query.results();
    ASSERT_FALSE(kelo::writeStamp(kelo::currentInstant(), second));
    // Long enough for the index to see the change and report it.
    QTest::qWait(300);
    EXPECT_EQ(updated.count(), 0);
    EXPECT_EQ(query.results(), frozen);
    EXPECT_EQ(frozen->size(), 1u) << "a list handed out changed";

    query.enableUpdates();
    EXPECT_EQ(updated.count(), 1);
    EXPECT_EQ(count(), 2u);

    ASSERT_FALSE(kelo::clearStamp(first));
    ASSERT_TRUE(updated.wait(5000));
    EXPECT_EQ(count(), 1u);
    EXPECT_EQ(signalThread, QThread::currentThread());
}
