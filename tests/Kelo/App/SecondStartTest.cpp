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

// Starts a program in the background with extra environment entries.
pid_t startProcess(const std::vector<std::string> &argv,
                   const std::vector<std::string> &environment) {
    std::vector<std::string> envStrings;
    for (char **entry = environ; *entry; ++entry)
        envStrings.emplace_back(*entry);
    envStrings.insert(envStrings.end(), environment.begin(), environment.end());
    std::vector<char *> args, env;
    for (const auto &arg : argv)
        args.push_back(const_cast<char *>(arg.c_str()));
    args.push_back(nullptr);
    for (const auto &entry : envStrings)
        env.push_back(const_cast<char *>(entry.c_str()));
    env.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), env.data()) != 0)
        return -1;
    return pid;
}

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

    const pid_t first = startProcess({KELO_PROGRAM, "--login-item"}, environment);
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
