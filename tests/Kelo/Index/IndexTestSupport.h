#pragma once

#include "TagIndex.h"
#include "TemporaryFolder.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

// A tag index over a temporary folder, with what it signals counted, so that tests can wait for
// the next gathering or update.
class IndexHarness {
public:
    explicit IndexHarness(std::vector<std::filesystem::path> roots,
                          std::filesystem::path cacheFile = {},
                          std::chrono::seconds saveWindow = std::chrono::seconds(5)) {
        kelo::TagIndex::Options options;
        options.scope = scope(std::move(roots));
        options.cacheFile = std::move(cacheFile);
        options.saveWindow = saveWindow;
        options.log = [this](std::string_view line) {
            std::lock_guard lock(m_mutex);
            m_log.emplace_back(line);
        };
        m_index = std::make_unique<kelo::TagIndex>(
            std::move(options),
            [this] {
                auto results = m_index->results();
                {
                    std::lock_guard lock(m_mutex);
                    m_atGathering = std::move(results);
                }
                signal(m_gathered);
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] { return !m_holding; });
            },
            [this] { signal(m_updates); });
    }

    ~IndexHarness() {
        release();
        m_index.reset();
    }

    // The scope the index searches, watched through and through.
    static kelo::SearchScope scope(std::vector<std::filesystem::path> roots) {
        kelo::SearchScope scope;
        for (auto &root : roots)
            scope.roots.push_back({std::move(root), true});
        scope.prunedNames = {".Trash-" + std::to_string(::getuid()), ".Trash"};
        return scope;
    }

    kelo::TagIndex &index() { return *m_index; }
    // Keeps the index's thread in its gathering signal until `release()`, so that the kernel's
    // events pile up unread.
    void holdAtGathering() { m_holding = true; }
    void release() {
        std::lock_guard lock(m_mutex);
        m_holding = false;
        m_changed.notify_all();
    }
    void start() { m_index->start(); }

    // Waits until the first gathering has finished; false after five seconds.
    bool waitGathered() {
        return waitFor([&] { return m_gathered > 0; });
    }
    // Waits for the `count`th update since the index started.
    bool waitUpdates(int count) {
        return waitFor([&] { return m_updates >= count; });
    }
    int updates() {
        std::lock_guard lock(m_mutex);
        return m_updates;
    }
    std::vector<std::string> log() {
        std::lock_guard lock(m_mutex);
        return m_log;
    }
    // Waits until the results equal `expected`; false after five seconds.
    bool waitResults(const std::set<std::string> &expected) {
        return waitFor([&] { return results() == expected; });
    }

    std::set<std::string> results() const { return asSet(*m_index->results()); }
    // The results as they stood when the first gathering was signalled.
    std::set<std::string> resultsAtGathering() {
        std::lock_guard lock(m_mutex);
        return m_atGathering ? asSet(*m_atGathering) : std::set<std::string>{};
    }

    // Waits until `predicate` holds; false after five seconds.
    template <typename Predicate> bool waitFor(Predicate predicate) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(5), [&] {
            lock.unlock();
            const bool done = predicate();
            lock.lock();
            return done;
        });
    }

private:
    static std::set<std::string> asSet(const kelo::TagIndex::Paths &paths) {
        std::set<std::string> set;
        for (const auto &path : paths)
            set.insert(path.string());
        return set;
    }
    void signal(int &counter) {
        std::lock_guard lock(m_mutex);
        ++counter;
        m_changed.notify_all();
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_gathered = 0;
    bool m_holding = false;
    int m_updates = 0;
    std::vector<std::string> m_log;
    std::shared_ptr<const kelo::TagIndex::Paths> m_atGathering;
    std::unique_ptr<kelo::TagIndex> m_index;
};

inline void tag(const std::filesystem::path &path, std::string_view tags = "Kelo") {
    ASSERT_EQ(::lsetxattr(path.c_str(), "user.xdg.tags", tags.data(), tags.size(), 0), 0)
        << path << ": " << std::strerror(errno);
}
