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

// Each counts only when written exactly so. The path is what follows the first "--snapshot",
// and is still read as an argument of its own.
TEST(LaunchArguments, EachCountsOnlyWhenExactlyEqual) {
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
    EXPECT_EQ(parse({"--snapshot", "a.png", "--snapshot", "b.png"}).snapshot, "a.png");
    EXPECT_EQ(parse({"--snapshot", "--snapshot", "b.png"}).snapshot, "--snapshot");
    const auto dark = parse({"--snapshot", "--dark"});
    EXPECT_TRUE(dark.snapshot == "--dark" && dark.dark);
    // The program's own name is never an argument.
    EXPECT_FALSE(LaunchArguments::parse(QStringList{"--review"}).review);
}

TEST(Startup, StartsInOrderAndShowsTheWindowUnlessStartedAtLogin) {
    using Steps = std::vector<std::string>;
    const auto run = [](QStringList arguments) {
        Steps steps;
        Startup startup(
            parse(arguments),
            {.startReminder = [&] { steps.push_back("reminder"); },
             .startUpdater = [&] { steps.push_back("updater"); },
             .offerLoginItem = [&] { steps.push_back("login item"); },
             .showShelf = [&](bool review) { steps.push_back(review ? "review" : "show"); }});
        startup.run();
        startup.trayIconShown();
        startup.trayIconShown(); // the icon may appear again: one launch-time show only
        return steps;
    };
    EXPECT_EQ(run({}), (Steps{"reminder", "updater", "login item", "show"}));
    EXPECT_EQ(run({"--review"}), (Steps{"reminder", "updater", "login item", "review"}));
    EXPECT_EQ(run({"--login-item"}), (Steps{"reminder", "updater", "login item"}));
    EXPECT_EQ(run({"--login-item", "--review"}), (Steps{"reminder", "updater", "login item"}));
}
