#pragma once

#include "TagIndex.h"
#include "TemporaryFolder.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

using Set = std::set<std::string>;
namespace fs = std::filesystem;

// A tag index over temporary folders, watched through and through, with what it logs kept, so
// that tests can wait for the first gathering or for results. Every wait gives up (false) after
// 30 seconds: a loaded machine may take that long for a large tree.
class IndexHarness {
public:
    using Options = kelo::TagIndex::Options;

    explicit IndexHarness(std::vector<fs::path> roots,
                          const std::function<void(Options &)> &adjust = {}) {
        Options options;
        options.scope = scope(std::move(roots));
        options.log = [this](std::string_view line) { locked([&] { m_log.emplace_back(line); }); };
        if (adjust)
            adjust(options);
        // Holds the index's thread here while asked to, so that the kernel's events pile up.
        const auto gathered = [this] {
            std::unique_lock lock(m_mutex);
            // An index stopped before its first gathering still calls: it is going away.
            if (m_closing)
                return;
            const auto results = m_index->results();
            m_atGathering = Set(results->begin(), results->end());
            m_gathered = true;
            m_released.wait(lock, [&] { return !m_holding; });
        };
        m_index = std::make_unique<kelo::TagIndex>(std::move(options), gathered, nullptr);
    }
    ~IndexHarness() {
        locked([&] {
            m_holding = false;
            m_closing = true;
        });
        m_released.notify_all();
        m_index.reset();
    }

    static kelo::SearchScope scope(std::vector<fs::path> roots) {
        kelo::SearchScope scope;
        for (auto &root : roots)
            scope.roots.push_back({std::move(root), true});
        scope.prunedNames = {".Trash-" + std::to_string(::getuid()), ".Trash"};
        return scope;
    }

    kelo::TagIndex &index() { return *m_index; }
    void start() { m_index->start(); }
    void holdAtGathering() { m_holding = true; }
    void release() {
        locked([&] { m_holding = false; });
        m_released.notify_all();
    }

    bool waitGathered() {
        return waitFor([&] { return locked([&] { return m_gathered; }); });
    }
    bool waitResults(const Set &expected) {
        return waitFor([&] { return results() == expected; });
    }
    // How many lines of the log hold `text`.
    long logged(std::string_view text) {
        std::lock_guard lock(m_mutex);
        return std::ranges::count_if(
            m_log, [&](const std::string &line) { return line.find(text) != std::string::npos; });
    }
    Set results() const {
        const auto paths = m_index->results();
        return Set(paths->begin(), paths->end());
    }
    // The results as they stood when the first gathering was signalled.
    Set resultsAtGathering() {
        return locked([&] { return m_atGathering; });
    }

    template <typename Predicate> static bool waitFor(Predicate predicate) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!predicate()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

private:
    template <typename Change> auto locked(Change change) -> decltype(change()) {
        std::lock_guard lock(m_mutex);
        return change();
    }
    std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_gathered = false;
    bool m_holding = false;
    bool m_closing = false;
    std::vector<std::string> m_log;
    Set m_atGathering;
    std::unique_ptr<kelo::TagIndex> m_index;
};

inline void tag(const fs::path &path, std::string_view tags = "Kelo") {
    ASSERT_EQ(::lsetxattr(path.c_str(), "user.xdg.tags", tags.data(), tags.size(), 0), 0)
        << path << ": " << std::strerror(errno);
}

// Runs `scenario` in a child process and gives its exit status: 0 for success, 77 for "cannot
// be run here", anything else a failure.
inline int inChild(const std::function<int()> &scenario) {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(scenario());
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}
