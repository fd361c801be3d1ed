#pragma once

#include "TagIndex.h"
#include "TemporaryFolder.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

using Set = std::set<std::string>;
namespace fs = std::filesystem;

// A tag index over temporary folders, with what it signals and logs kept, so that tests can wait
// for the next gathering or update. Every wait gives up (false) after five seconds.
class IndexHarness {
public:
    using Options = kelo::TagIndex::Options;

    explicit IndexHarness(std::vector<std::filesystem::path> roots,
                          const std::function<void(Options &)> &adjust = {}) {
        Options options;
        options.scope = scope(std::move(roots));
        options.log = [this](std::string_view line) { locked([&] { m_log.emplace_back(line); }); };
        if (adjust)
            adjust(options);
        const auto gathered = [this] {
            const Set results = asSet(*m_index->results());
            std::unique_lock lock(m_mutex);
            m_atGathering = results;
            ++m_gathered;
            m_released.wait(lock, [&] { return !m_holding; });
        };
        m_index = std::make_unique<kelo::TagIndex>(std::move(options), gathered,
                                                   [this] { locked([&] { ++m_updates; }); });
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
    void start() { m_index->start(); }
    // Keeps the index's thread in its gathering signal until `release()`, so that the kernel's
    // events pile up unread.
    void holdAtGathering() { m_holding = true; }
    void release() {
        locked([&] { m_holding = false; });
        m_released.notify_all();
    }

    bool waitGathered() {
        return waitFor([&] { return locked([&] { return m_gathered > 0; }); });
    }
    bool waitResults(const Set &expected) {
        return waitFor([&] { return results() == expected; });
    }
    int updates() {
        return locked([&] { return m_updates; });
    }
    // How many lines of the log hold `text`.
    long logged(std::string_view text) {
        return locked([&] {
            return std::count_if(m_log.begin(), m_log.end(), [&](const std::string &line) {
                return line.find(text) != std::string::npos;
            });
        });
    }
    Set results() const { return asSet(*m_index->results()); }
    // The results as they stood when the first gathering was signalled.
    Set resultsAtGathering() {
        return locked([&] { return m_atGathering; });
    }

    // Looks every few milliseconds until `predicate` holds.
    template <typename Predicate> static bool waitFor(Predicate predicate) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!predicate()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

private:
    static Set asSet(const kelo::TagIndex::Paths &paths) { return Set(paths.begin(), paths.end()); }
    template <typename Change> auto locked(Change change) -> decltype(change()) {
        std::lock_guard lock(m_mutex);
        return change();
    }

    std::mutex m_mutex;
    std::condition_variable m_released;
    int m_gathered = 0;
    bool m_holding = false;
    int m_updates = 0;
    std::vector<std::string> m_log;
    Set m_atGathering;
    std::unique_ptr<kelo::TagIndex> m_index;
};

inline void tag(const std::filesystem::path &path, std::string_view tags = "Kelo") {
    ASSERT_EQ(::lsetxattr(path.c_str(), "user.xdg.tags", tags.data(), tags.size(), 0), 0)
        << path << ": " << std::strerror(errno);
}
