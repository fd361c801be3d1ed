#include "AppDelegate.h"
#include "LaunchArguments.h"
#include "ShowShelfRequests.h"
#include "SingleInstance.h"

#include <QDBusConnection>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace kelo;

namespace {

LaunchArguments parse(QStringList arguments) {
    arguments.prepend(QStringLiteral("kelo"));
    return LaunchArguments::parse(arguments);
}

} // namespace

TEST(LaunchArguments, EachCountsOnlyWhenExactlyEqual) {
    EXPECT_TRUE(parse({"--review"}).review);
    EXPECT_TRUE(parse({"-platform", "offscreen", "--review"}).review);
    for (const char *nearMiss : {"--reviews", "--Review", "-review", "review", "--review=true",
                                 " --review", "--test-Reminder", "--login-items"}) {
        const auto parsed = parse({nearMiss});
        EXPECT_FALSE(parsed.review || parsed.testReminder || parsed.loginItem) << nearMiss;
    }
    const auto all = parse(
        {"--dark", "--snapshot", "/tmp/kelo.png", "--test-reminder", "--login-item", "--review"});
    EXPECT_TRUE(all.dark && all.testReminder && all.loginItem && all.review);
    EXPECT_EQ(all.snapshot, QStringLiteral("/tmp/kelo.png"));
    EXPECT_FALSE(parse({"--snapshot"}).snapshot) << "no path after it";
    // The program's own name is never an argument.
    EXPECT_FALSE(LaunchArguments::parse(QStringList{"--review"}).review);
}

TEST(AppDelegate, StartsInOrderAndShowsTheWindowUnlessStartedAtLogin) {
    std::vector<std::string> steps;
    auto delegateFor = [&](QStringList arguments) {
        return AppDelegate(
            parse(arguments),
            {.startReminder = [&] { steps.push_back("reminder"); },
             .startUpdater = [&] { steps.push_back("updater"); },
             .offerLoginItem = [&] { steps.push_back("login item"); },
             .showShelf =
                 [&](bool review) { steps.push_back(review ? "show with review" : "show"); }});
    };
    auto run = [&](QStringList arguments) {
        steps.clear();
        AppDelegate delegate = delegateFor(arguments);
        delegate.willFinishLaunching();
        delegate.didFinishLaunching();
        delegate.labelAppeared();
        delegate.labelAppeared(); // the label may appear again: one launch-time show only
        return steps;
    };
    using Steps = std::vector<std::string>;
    EXPECT_EQ(run({}), (Steps{"reminder", "updater", "login item", "show"}));
    EXPECT_EQ(run({"--review"}), (Steps{"reminder", "updater", "login item", "show with review"}));
    EXPECT_EQ(run({"--login-item"}), (Steps{"reminder", "updater", "login item"}));
    EXPECT_EQ(run({"--login-item", "--review"}), (Steps{"reminder", "updater", "login item"}));
}

TEST(ShowShelfRequests, OnlyATrueBooleanAsksForTheReview) {
    EXPECT_TRUE(ShowShelfRequests::wantsReview({{"review", true}}));
    for (const QVariantMap &request :
         {QVariantMap{}, QVariantMap{{"review", false}}, QVariantMap{{"review", "true"}},
          QVariantMap{{"review", 1}}, QVariantMap{{"Review", true}}})
        EXPECT_FALSE(ShowShelfRequests::wantsReview(request)) << request.size();

    QSignalSpy requested(&ShowShelfRequests::instance(), &ShowShelfRequests::requested);
    ShowShelfRequests::post({{"review", true}});
    ASSERT_EQ(requested.count(), 1);
    EXPECT_TRUE(ShowShelfRequests::wantsReview(requested.at(0).at(0).toMap()));
}

// Runs on a private session bus (the test is started by dbus-run-session).
TEST(SingleInstance, ASecondClaimActivatesTheFirst) {
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "no session bus";
    SingleInstance first(QDBusConnection::sessionBus());
    ASSERT_EQ(first.claim(), SingleInstance::Role::primary);
    QSignalSpy activated(&first, &SingleInstance::activated);

    // Another process, as far as the bus can tell: a connection of its own.
    const auto other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "second");
    {
        SingleInstance second(other);
        EXPECT_EQ(second.claim(), SingleInstance::Role::secondary);
    }
    EXPECT_EQ(activated.count(), 1);
    QDBusConnection::disconnectFromBus("second");
}

TEST(SingleInstance, WithoutABusKeloRunsAlone) {
    const auto nowhere = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/nonexistent/kelo-test-bus"), "nowhere");
    SingleInstance alone(nowhere);
    EXPECT_EQ(alone.claim(), SingleInstance::Role::primary);
    QDBusConnection::disconnectFromBus("nowhere");
}
