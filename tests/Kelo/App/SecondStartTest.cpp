// Kelo as a program: a second start on the same session bus hands over to the first and exits.
#include "Subprocess.h"
#include "TemporaryFolder.h"

#include <chrono>
#include <csignal>
#include <thread>

#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include <gtest/gtest.h>

TEST(SecondStart, HandsOverToTheRunningKeloAndExits) {
    const auto bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        GTEST_SKIP() << "no session bus";
    const auto owned = [&] {
        return bus.interface()->isServiceRegistered("wex.dorvel.Kelo").value();
    };
    TemporaryFolder home;
    const std::string folder = home.path().string();
    const std::vector<std::string> environment = {"QT_QPA_PLATFORM=offscreen",
                                                  "HOME=" + folder,
                                                  "XDG_CONFIG_HOME=" + folder + "/config",
                                                  "XDG_CACHE_HOME=" + folder + "/cache",
                                                  "XDG_DATA_HOME=" + folder + "/data",
                                                  "KELO_SEARCH_SCOPES=" + folder};

    const pid_t first = spawnProcess({KELO_PROGRAM, "--login-item"}, environment);
    ASSERT_GT(first, 0);
    for (int i = 0; i < 100 && !owned(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(owned());
    const auto start = std::chrono::steady_clock::now();
    const auto second = runProcess({KELO_PROGRAM}, environment);
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    // The first one is still there, and still owns the name.
    EXPECT_EQ(::waitpid(first, nullptr, WNOHANG), 0);
    EXPECT_TRUE(owned());
    ::kill(first, SIGTERM);
    ::waitpid(first, nullptr, 0);
}
