#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "SearchScope.h"

namespace kelo {

// Kelo's own metadata search: the paths of every file and folder in the scope whose tag list
// holds the tag, kept current. A crawl gathers them (or the cache of the last run, checked, while
// a crawl corrects it in the background); inotify keeps the watched part of the scope current,
// and the rest is rescanned from time to time and on request.
//
// All work runs on threads of the index's own. `finishedGathering` is called once, when the
// first set of results is ready; `updated` after each later batch of changes that altered them
// or changed one of the files in them (a new expiry date is written, for instance).
// Both are called on the index's thread: hand them on to the thread that owns the consumer.
class TagIndex {
public:
    // Absolute byte paths, in byte order.
    using Paths = std::vector<std::string>;
    // The expiry attribute of each result as the index last read it, byte for byte, in the order
    // of the paths; empty where the index cannot vouch for it (it has not read it yet, or the
    // file lies where no watch tells of changes).
    using Stamps = std::vector<std::string>;
    struct Found {
        std::shared_ptr<const Paths> paths;
        std::shared_ptr<const Stamps> stamps;
        // Goes up with every change to the two lists.
        std::uint64_t version = 0;
    };
    using Signal = std::function<void()>;

    struct Options {
        SearchScope scope;
        std::string tag = "Kelo";
        // The found set between runs; empty for none.
        std::filesystem::path cacheFile;
        // Crawl threads; 0 for one per processor.
        int workers = 0;
        // A batch of changes ends after this much quiet, or this long after it began.
        std::chrono::milliseconds quiet{15};
        std::chrono::milliseconds longestBatch{80};
        // The unwatched part of the scope is rescanned this often, and on request at most once
        // per `shortestRescanGap`.
        std::chrono::seconds rescanInterval{600};
        std::chrono::seconds shortestRescanGap{30};
        // A new file that takes a stamped file's place gets its date and tags when it was made
        // this close to the moment it did: a save (StampKeeper).
        std::chrono::seconds saveWindow{5};
        // The found set is written to the cache this long after it changed. A write that fails
        // (a full disk, a folder that cannot be written) is tried again after this long, then
        // after twice as long each time, up to `longestCacheRetry`.
        std::chrono::milliseconds cacheDelay{5000};
        std::chrono::milliseconds longestCacheRetry = std::chrono::minutes(10);
        std::function<void(std::string_view line)> log;
    };

    TagIndex(Options options, Signal finishedGathering, Signal updated);
    ~TagIndex();
    TagIndex(const TagIndex &) = delete;
    TagIndex &operator=(const TagIndex &) = delete;

    void start();

    // The current results, sorted by path. The lists never change once handed out.
    std::shared_ptr<const Paths> results() const;
    Found found() const;
    // The paths that joined, left or changed between two versions of the results, so that a
    // reader can follow a change without looking at every result; none when the index no longer
    // knows (a crawl replaced the results, or the versions lie too far apart).
    std::optional<std::vector<std::string>> changes(std::uint64_t from, std::uint64_t to) const;

    // Asks for a rescan of what inotify does not cover (the application came to the front).
    void rescanUnwatched();

    struct Statistics {
        size_t found = 0;
        size_t watchedFolders = 0;
        // Folders (with their subtrees) left to rescans because the watch limit was reached.
        size_t unwatchedFolders = 0;
        // Memory held for the found set and the watch table.
        size_t bytes = 0;
        // Times the kernel's event queue overflowed and the watched part was read again.
        size_t overflows = 0;
        bool gathered = false;
    };
    Statistics statistics() const;

private:
    class Engine;
    std::unique_ptr<Engine> m_engine;
};

} // namespace kelo
