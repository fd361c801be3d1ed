#pragma once

#include <atomic>
#include <string>
#include <unordered_set>
#include <vector>

#include "SearchScope.h"

namespace kelo {

// A folder the crawl put an inotify watch on: the watch descriptor, and where the folder is as
// its parent's watch and its own name (a root: parent -1 and its full path).
struct WatchedFolder {
    int wd = -1;
    int parentWd = -1;
    std::string name;
};

struct CrawlOutcome {
    // Files and folders whose tag list holds the tag, as absolute byte paths.
    std::vector<std::string> tagged;
    std::vector<WatchedFolder> watches;
    // Folders that could not be watched (the kernel's watch limit), with everything below them.
    std::vector<std::string> unwatched;
};

// Walks folder trees and reads every file's and folder's tag list, on several threads. Never
// follows symbolic links, never crosses into another mount, never enters pruned folders or
// another root of the scope. Folders are opened relative to their parent, so there is no limit
// on path length or depth; folders that vanish or cannot be read are passed over.
class Crawler {
public:
    // The most folders a worker holds open, however deep it goes: the deepest folders it is in
    // (the shallower ones are opened again on its way back), and two more for a moment.
    static constexpr int openFoldersPerWorker = 66;

    Crawler(const SearchScope &scope, std::string tag);

    struct Root {
        std::string path;
        // Put an inotify watch on every folder before reading it, so that nothing changing
        // during the crawl goes unseen.
        bool watch = false;
    };

    // Crawls each root with `workers` threads; stops early when `cancel` becomes true, closing
    // every folder it opened.
    CrawlOutcome crawl(const std::vector<Root> &roots, int inotifyFd, int workers,
                       const std::atomic<bool> &cancel) const;

    // Whether a folder at `path` named `name` is never entered.
    bool skips(const std::string &path, std::string_view name) const;

private:
    std::string m_tag;
    std::unordered_set<std::string> m_skippedPaths;
    std::vector<std::string> m_skippedNames;
};

// The inotify events a watched folder reports.
extern const unsigned watchMask;

} // namespace kelo
