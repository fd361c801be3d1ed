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

TEST(Startup, StartsInOrderAndShowsTheWindowUnlessStartedAtLogin) {
    std::vector<std::string> steps;
    auto startupFor = [&](QStringList arguments) {
        return Startup(
            parse(arguments),
            {.startReminder = [&] { steps.push_back("reminder"); },
             .startUpdater = [&] { steps.push_back("updater"); },
             .offerLoginItem = [&] { steps.push_back("login item"); },
             .showShelf =
                 [&](bool review) { steps.push_back(review ? "show with review" : "show"); }});
    };
    auto run = [&](QStringList arguments) {
        steps.clear();
        Startup startup = startupFor(arguments);
        startup.run();
        startup.trayIconShown();
        startup.trayIconShown(); // the icon may appear again: one launch-time show only
        return steps;
    };
    using Steps = std::vector<std::string>;
    EXPECT_EQ(run({}), (Steps{"reminder", "updater", "login item", "show"}));
    EXPECT_EQ(run({"--review"}), (Steps{"reminder", "updater", "login item", "show with review"}));
    EXPECT_EQ(run({"--login-item"}), (Steps{"reminder", "updater", "login item"}));
    EXPECT_EQ(run({"--login-item", "--review"}), (Steps{"reminder", "updater", "login item"}));
}
