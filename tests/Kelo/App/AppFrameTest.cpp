#include "LaunchArguments.h"
#include "Startup.h"

#include <gtest/gtest.h>

using namespace kelo;

namespace {

LaunchArguments parse(QStringList arguments) {
    arguments.prepend(QStringLiteral("kelo"));
    return LaunchArguments::parse(arguments);
}

} // namespace

// Each counts only when written exactly so. The path is what follows the first "--snapshot".
TEST(LaunchArguments, EachCountsOnlyWhenExactlyEqual) {
    for (const char *nearMiss : {"--reviews", "--Review", "--review=true", "--login-items"}) {
        const auto parsed = parse({nearMiss});
        EXPECT_FALSE(parsed.review || parsed.testReminder || parsed.loginItem) << nearMiss;
    }
    const auto all = parse(
        {"--dark", "--snapshot", "/tmp/kelo.png", "--test-reminder", "--login-item", "--review"});
    EXPECT_TRUE(all.dark && all.testReminder && all.loginItem && all.review);
    EXPECT_EQ(all.snapshot, QStringLiteral("/tmp/kelo.png"));
    EXPECT_EQ(parse({"--snapshot", "a.png", "--snapshot", "b.png"}).snapshot, "a.png");
    // The program's own name is never an argument.
    EXPECT_FALSE(LaunchArguments::parse(QStringList{"--review"}).review);
}

TEST(Startup, ShowsTheWindowOnceUnlessStartedAtLogin) {
    const auto shown = [](QStringList arguments) {
        QStringList shows;
        Startup::Steps steps;
        steps.showShelf = [&](bool review) { shows.append(review ? "review" : "show"); };
        Startup startup(parse(arguments), steps);
        startup.run();
        startup.trayIconShown();
        startup.trayIconShown(); // the icon may appear again: one launch-time show only
        return shows;
    };
    EXPECT_EQ(shown({}), QStringList{"show"});
    EXPECT_EQ(shown({"--review"}), QStringList{"review"});
    EXPECT_EQ(shown({"--login-item", "--review"}), QStringList{});
}
