// Kelo as a program: a second start on the same session bus hands over to the first and exits.
#include "Subprocess.h"
#include "TemporaryFolder.h"

#include <chrono>
#include <csignal>
#include <thread>

#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include <gtest/gtest.h>

namespace {

bool serviceOwned() {
    const auto bus = QDBusConnection::sessionBus();
    return bus.interface()->isServiceRegistered(QStringLiteral("wex.dorvel.Kelo")).value();
}

} // namespace

TEST(SecondStart, HandsOverToTheRunningKeloAndExits) {
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "no session bus";
    TemporaryFolder home;
    const std::vector<std::string> environment = {
        "QT_QPA_PLATFORM=offscreen",
        "HOME=" + home.path().string(),
        "XDG_CONFIG_HOME=" + (home.path() / "config").string(),
        "XDG_CACHE_HOME=" + (home.path() / "cache").string(),
        "XDG_DATA_HOME=" + (home.path() / "data").string(),
        "KELO_SEARCH_SCOPES=" + home.path().string()};

    const pid_t first = spawnProcess({KELO_PROGRAM, "--login-item"}, environment);
    ASSERT_GT(first, 0);
    for (int i = 0; i < 100 && !serviceOwned(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(serviceOwned());

    const auto start = std::chrono::steady_clock::now();
    const auto second = runProcess({KELO_PROGRAM}, environment);
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    // The first one is still there, and still owns the name.
    EXPECT_EQ(::waitpid(first, nullptr, WNOHANG), 0);
    EXPECT_TRUE(serviceOwned());
    ::kill(first, SIGTERM);
    ::waitpid(first, nullptr, 0);
}
