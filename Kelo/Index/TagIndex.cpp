#include "TagIndex.h"

#include "Crawler.h"
#include "FileDescriptor.h"
#include "Files.h"
#include "IndexCache.h"
#include "StampKeeper.h"
#include "TagReading.h"

#include <algorithm>
#include <cerrno>
#include <deque>
#include <optional>
#include <set>
#include <unordered_map>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <unistd.h>

namespace kelo {
namespace {

using Clock = std::chrono::steady_clock;

bool isUnder(const std::string &path, const std::string &folder) {
    return path != folder && isWithin(path, folder);
}

// However deep the tree, a crawl holds a few dozen folders open per worker and one per worker
// waiting to be taken: make room for them beside what the rest of the application keeps open.
void raiseOpenFileLimit(int workers) {
    const auto needed = static_cast<rlim_t>(1024 + workers * (Crawler::openFoldersPerWorker + 1));
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= needed)
        return;
    limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, needed);
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

// Where each watched folder is: its parent's watch and its name, so that the table holds a
// name per folder rather than a whole path.
class WatchTable {
public:
    void add(const WatchedFolder &folder) { m_folders[folder.wd] = {folder.parentWd, folder.name}; }
    void erase(int wd) { m_folders.erase(wd); }
    bool contains(int wd) const { return m_folders.contains(wd); }
    size_t size() const { return m_folders.size(); }

    std::optional<std::string> path(int wd) const {
        std::vector<const std::string *> names;
        for (int at = wd; at != -1;) {
            const auto found = m_folders.find(at);
            if (found == m_folders.end() || names.size() > 100000)
                return std::nullopt;
            names.push_back(&found->second.name);
            at = found->second.parentWd;
        }
        std::string path = *names.back();
        for (auto name = names.rbegin() + 1; name != names.rend(); ++name) {
            if (path != "/")
                path += '/';
            path += **name;
        }
        return path;
    }

    // The watches on `folder` and below it.
    std::vector<int> within(const std::string &folder) const {
        std::vector<int> found;
        for (const auto &[wd, entry] : m_folders)
            if (const auto at = path(wd); at && isWithin(*at, folder))
                found.push_back(wd);
        return found;
    }

    size_t bytes() const {
        size_t total = m_folders.size() * (sizeof(int) * 2 + sizeof(std::string) + 16);
        for (const auto &[wd, entry] : m_folders)
            total += entry.name.capacity() > 15 ? entry.name.capacity() + 1 : 0;
        return total;
    }

private:
    struct Entry {
        int parentWd;
        std::string name;
    };
    std::unordered_map<int, Entry> m_folders;
};

} // namespace

class TagIndex::Engine {
public:
    Engine(Options options, Signal finishedGathering, Signal updated)
        : m_options(std::move(options)), m_crawler(m_options.scope, m_options.tag),
          m_keeper({m_options.tag, m_options.log, m_options.saveWindow}),
          m_finishedGathering(std::move(finishedGathering)), m_updated(std::move(updated)),
          m_results(std::make_shared<Paths>()), m_stamps(std::make_shared<Stamps>()) {
        m_inotify.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
        m_wake.reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
        if (m_options.workers <= 0)
            m_options.workers = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
        for (const auto &root : m_options.scope.roots)
            m_roots.push_back({root.path.string(), root.watched});
    }

    ~Engine() {
        m_stopping = true;
        wake();
        if (m_thread.joinable())
            m_thread.join();
    }

    void start() {
        if (!m_thread.joinable())
            m_thread = std::thread([this] { run(); });
    }

    std::shared_ptr<const Paths> results() const {
        std::lock_guard lock(m_mutex);
        return m_results;
    }

    Found found() const {
        std::lock_guard lock(m_mutex);
        return {m_results, m_stamps, m_version};
    }

    std::optional<std::vector<std::string>> changes(std::uint64_t from, std::uint64_t to) const {
        std::lock_guard lock(m_mutex);
        if (from < m_logBase || to > m_version || from > to)
            return std::nullopt;
        std::vector<std::string> paths;
        for (const auto &[version, changed] : m_log)
            if (version > from && version <= to)
                paths.insert(paths.end(), changed.begin(), changed.end());
        std::sort(paths.begin(), paths.end());
        paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
        return paths;
    }

    void requestRescan() {
        m_rescanRequested = true;
        wake();
    }

    Statistics statistics() const {
        std::lock_guard lock(m_mutex);
        return m_statistics;
    }

private:
    void wake() {
        const uint64_t one = 1;
        [[maybe_unused]] auto written = ::write(m_wake.get(), &one, sizeof one);
    }

    void log(std::string_view line) {
        if (m_options.log)
            m_options.log(line);
    }

    void run() {
        raiseOpenFileLimit(m_options.workers);
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
        gather();
        loop();
    }

    // The first results: the cache of the last run, checked path by path, while a crawl of the
    // whole scope follows; without a cache, that crawl.
    void gather() {
        bool gathered = false;
        // Files saved while Kelo was not running get their dates back before anything is read.
        if (auto records = loadStampRecords(stampRecordsFile(m_options.cacheFile)))
            m_keeper.restore(records->records, records->written);
        if (!m_options.cacheFile.empty()) {
            const auto check = [this](std::string_view cached) {
                std::string path(cached);
                if (pathHasTag(path, m_options.tag))
                    addFound(std::move(path));
            };
            if (visitIndexCache(m_options.cacheFile, m_options.scope.signature(), check,
                                m_stopping)) {
                publish();
                gathered = true;
                if (m_finishedGathering)
                    m_finishedGathering();
            }
        }
        if (m_stopping)
            return;
        std::vector<Crawler::Root> roots;
        for (const auto &root : m_roots)
            roots.push_back({root.path, root.watched});
        crawl(roots, m_options.workers);
        m_nextRescan = Clock::now() + m_options.rescanInterval;
        recordPending();
        const bool changed = publish();
        saveCache();
        if (!gathered) {
            if (m_finishedGathering)
                m_finishedGathering();
        } else if (changed && m_updated) {
            m_updated();
        }
    }

    // Crawls the roots and replaces what was found below them with what the crawl found.
    void crawl(const std::vector<Crawler::Root> &roots, int workers) {
        const CrawlOutcome outcome = m_crawler.crawl(roots, m_inotify.get(), workers, m_stopping);
        if (m_stopping)
            return;
        m_republish = true;
        for (const auto &root : roots)
            dropFoundWithin(root.path, [&](const std::string &path) {
                if (!covers(root.path, path))
                    return false;
                m_keeper.forget(path);
                return true;
            });
        for (const auto &path : outcome.tagged)
            addFound(path);
        m_unrecorded.insert(m_unrecorded.end(), outcome.tagged.begin(), outcome.tagged.end());
        for (const auto &watch : outcome.watches)
            m_watches.add(watch);
        for (const auto &folder : outcome.unwatched) {
            if (!m_watchLimitLogged) {
                log("Kelo: tag index: the inotify watch limit is reached; folders from " + folder +
                    " on are rescanned instead of watched");
                m_watchLimitLogged = true;
            }
            m_unwatched.insert(folder);
        }
    }

    // Whether a crawl of `root` decides about `path`: below it and not below another root.
    bool covers(const std::string &root, const std::string &path) const {
        if (!isWithin(path, root))
            return false;
        for (const auto &other : m_roots)
            if (other.path != root && isUnder(other.path, root) && isWithin(path, other.path))
                return false;
        return true;
    }

    // Whether inotify tells of every change to the file at `path`: its root is watched and it
    // lies in no folder left to rescans.
    bool watched(const std::string &path) const {
        const RootState *deepest = nullptr;
        for (const auto &root : m_roots)
            if (isWithin(path, root.path) && (!deepest || root.path.size() > deepest->path.size()))
                deepest = &root;
        if (!deepest || !deepest->watched)
            return false;
        return std::none_of(m_unwatched.begin(), m_unwatched.end(),
                            [&](const std::string &folder) { return isWithin(path, folder); });
    }

    // The date the keeper read for a found file, where the index can vouch for it.
    std::string vouchedStamp(const std::string &path) const {
        const auto &records = m_keeper.records();
        const auto record = records.find(path);
        return record != records.end() && watched(path) ? record->second.stamp : std::string();
    }

    // Makes the found set, with the dates the keeper read, the results; true when they changed.
    // After a crawl the lists are made anew; otherwise only the paths of the batch are looked
    // at, in lists nobody else holds at that moment, so that a change costs what it touches.
    bool publish() {
        if (std::exchange(m_republish, false))
            return republish();
        // What joined or left is looked at too, though every change marks its path dirty.
        m_dirty.insert(m_joined.begin(), m_joined.end());
        m_dirty.insert(m_left.begin(), m_left.end());
        std::vector<std::string> dirty(m_dirty.begin(), m_dirty.end());
        m_dirty.clear();
        if (dirty.empty())
            return false;
        std::lock_guard lock(m_mutex);
        if (m_results.use_count() > 1)
            m_results = std::make_shared<Paths>(*m_results);
        if (m_stamps.use_count() > 1)
            m_stamps = std::make_shared<Stamps>(*m_stamps);
        Paths &paths = *m_results;
        Stamps &stamps = *m_stamps;
        bool changed = false;
        for (const auto &path : dirty) {
            const auto at = std::lower_bound(paths.begin(), paths.end(), path);
            const auto index = at - paths.begin();
            const bool listed = at != paths.end() && *at == path;
            if (!m_joined.contains(path) && (!listed || m_left.contains(path))) {
                if (listed) {
                    m_pathBytes -= path.capacity() + 64;
                    paths.erase(at);
                    stamps.erase(stamps.begin() + index);
                    changed = true;
                }
                continue;
            }
            std::string stamp = vouchedStamp(path);
            if (!listed) {
                m_pathBytes += path.capacity() + 64;
                paths.insert(at, path);
                stamps.insert(stamps.begin() + index, std::move(stamp));
                changed = true;
            } else if (stamps[static_cast<size_t>(index)] != stamp) {
                stamps[static_cast<size_t>(index)] = std::move(stamp);
                changed = true;
            }
        }
        m_joined.clear();
        m_left.clear();
        // Logged even when the lists stayed the same: a file whose date the index cannot vouch
        // for may still have a new one.
        ++m_version;
        m_loggedPaths += dirty.size();
        m_log.emplace_back(m_version, std::move(dirty));
        while (m_log.size() > maximumLoggedBatches || m_loggedPaths > maximumLoggedPaths) {
            m_logBase = m_log.front().first;
            m_loggedPaths -= m_log.front().second.size();
            m_log.pop_front();
        }
        noteStatistics();
        if (changed)
            m_cacheDirty = true;
        return changed;
    }

    // The whole found set made the results again; true when they changed.
    bool republish() {
        m_dirty.clear();
        auto paths = std::make_shared<Paths>();
        auto stamps = std::make_shared<Stamps>();
        paths->reserve(foundCount());
        stamps->reserve(foundCount());
        m_pathBytes = 0;
        m_watchBytes = m_watches.bytes();
        // The published list less what left, merged with what joined.
        const auto add = [&](const std::string &path) {
            paths->emplace_back(path);
            stamps->push_back(vouchedStamp(path));
            m_pathBytes += path.capacity() + 64;
        };
        auto joined = m_joined.begin();
        for (const auto &path : *m_results) {
            for (; joined != m_joined.end() && *joined < path; ++joined)
                add(*joined);
            if (!m_left.contains(path))
                add(path);
        }
        for (; joined != m_joined.end(); ++joined)
            add(*joined);
        m_joined.clear();
        m_left.clear();
        std::lock_guard lock(m_mutex);
        const bool changed = *paths != *m_results || *stamps != *m_stamps;
        if (changed) {
            m_results = std::move(paths);
            m_stamps = std::move(stamps);
        }
        // Whatever changed, readers start again from these lists.
        ++m_version;
        m_logBase = m_version;
        m_log.clear();
        m_loggedPaths = 0;
        noteStatistics();
        if (changed)
            m_cacheDirty = true;
        return changed;
    }

    // With the lock held.
    void noteStatistics() {
        m_statistics = {foundCount(),       m_watches.size(),
                        m_unwatched.size(), m_pathBytes + m_watchBytes,
                        m_overflows,        true};
    }

    // Notes the stamps of files the crawls found, after they were published: the first results
    // do not wait for it.
    void recordPending() {
        for (const auto &path : m_unrecorded)
            if (isFound(path))
                m_keeper.remember(path);
        // Not kept for the next crawl: its room is as large as the largest crawl's findings.
        m_unrecorded = std::vector<std::string>();
    }

    // The found set is the published list with the changes since it was published: a found
    // path is held once, in the list readers get, and in a set only while it waits to join it.
    bool isListed(const std::string &path) const {
        return std::binary_search(m_results->begin(), m_results->end(), path);
    }
    bool isFound(const std::string &path) const {
        return m_joined.contains(path) || (!m_left.contains(path) && isListed(path));
    }
    size_t foundCount() const { return m_results->size() - m_left.size() + m_joined.size(); }
    // True when it was not found before.
    bool addFound(std::string path) {
        if (m_left.erase(path) > 0)
            return true;
        if (isListed(path))
            return false;
        return m_joined.insert(std::move(path)).second;
    }
    // True when it was found before.
    bool dropFound(const std::string &path) {
        if (m_joined.erase(path) > 0)
            return true;
        return isListed(path) && m_left.insert(path).second;
    }
    // Drops the found paths at or below `folder` for which `drop` says so.
    template <typename Drop> void dropFoundWithin(const std::string &folder, Drop drop) {
        std::erase_if(m_joined, [&](const std::string &path) {
            return isWithin(path, folder) && drop(path);
        });
        const auto &listed = *m_results;
        for (auto at = std::lower_bound(listed.begin(), listed.end(), folder);
             at != listed.end() && at->starts_with(folder); ++at)
            if (isWithin(*at, folder) && !m_left.contains(*at) && drop(*at))
                m_left.insert(*at);
    }

    // Writes the found set and the stamp records. A write that fails stays due: it is tried
    // again later, each time after twice the wait before, up to the longest retry.
    void saveCache() {
        if (m_options.cacheFile.empty() || m_stopping)
            return;
        const bool recordsSaved =
            saveStampRecords(stampRecordsFile(m_options.cacheFile), m_keeper.records());
        // The published list is the found set, in the same order: no copy of it is made.
        const auto paths = results();
        const bool cacheSaved =
            saveIndexCache(m_options.cacheFile, m_options.scope.signature(), *paths);
        if (recordsSaved && cacheSaved) {
            m_cacheDirty = false;
            m_cacheDue = Clock::time_point::max();
            m_cacheRetry = m_options.cacheDelay;
            return;
        }
        m_cacheDirty = true;
        m_cacheDue = Clock::now() + m_cacheRetry;
        log("Kelo: tag index: the cache " + m_options.cacheFile.string() +
            " could not be written; trying again in " + std::to_string(m_cacheRetry.count()) +
            " ms");
        m_cacheRetry = std::min(m_cacheRetry * 2, m_options.longestCacheRetry);
    }

    void loop() {
        std::optional<Clock::time_point> batchStart, lastEvent;
        while (!m_stopping) {
            auto deadline = m_nextRescan;
            if (lastEvent)
                deadline = std::min(
                    {deadline, *lastEvent + m_options.quiet, *batchStart + m_options.longestBatch});
            deadline = std::min(deadline, m_cacheDue);
            const auto wait =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            pollfd fds[2] = {{m_wake.get(), POLLIN, 0}, {m_inotify.get(), POLLIN, 0}};
            ::poll(fds, 2, static_cast<int>(std::clamp<long long>(wait.count() + 1, 0, 60000)));
            if (m_stopping)
                return;
            if (fds[0].revents & POLLIN) {
                uint64_t count = 0;
                [[maybe_unused]] auto read = ::read(m_wake.get(), &count, sizeof count);
            }
            if (fds[1].revents & POLLIN && readEvents()) {
                lastEvent = Clock::now();
                if (!batchStart)
                    batchStart = lastEvent;
            }

            const auto now = Clock::now();
            bool changed = false;
            if (lastEvent && (now >= *lastEvent + m_options.quiet ||
                              now >= *batchStart + m_options.longestBatch)) {
                processEvents();
                recordPending();
                lastEvent.reset();
                batchStart.reset();
                changed = publish() || m_touched;
                m_touched = false;
            }
            if (now >= m_nextRescan ||
                (m_rescanRequested && now >= m_lastRescan + m_options.shortestRescanGap)) {
                m_rescanRequested = false;
                rescanUnwatched();
                recordPending();
                changed = publish() || changed;
            }
            m_keeper.expire(StampKeeper::WallClock::now());
            if (changed) {
                // The stamp records change with the found set and with the dates in it.
                m_cacheDirty = true;
                if (m_updated)
                    m_updated();
                if (m_cacheDue == Clock::time_point::max())
                    m_cacheDue = now + m_options.cacheDelay;
            }
            if (now >= m_cacheDue) {
                m_cacheDue = Clock::time_point::max();
                if (m_cacheDirty)
                    saveCache();
            }
        }
    }

    struct Event {
        int wd;
        uint32_t mask;
        uint32_t cookie;
        std::string name;
        // When it was read: a save is told by how close together things happened.
        StampKeeper::WallClock::time_point at;
    };

    // Reads what the kernel has queued; true when anything came.
    bool readEvents() {
        alignas(inotify_event) char buffer[65536];
        bool any = false;
        while (true) {
            const ssize_t size = ::read(m_inotify.get(), buffer, sizeof buffer);
            if (size <= 0)
                return any;
            any = true;
            const auto at = StampKeeper::WallClock::now();
            for (ssize_t offset = 0; offset < size;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + offset);
                offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                m_pending.push_back(
                    {event->wd, event->mask, event->cookie, event->len ? event->name : "", at});
            }
        }
    }

    void processEvents() {
        std::vector<Event> events;
        events.swap(m_pending);
        std::set<std::string> rechecks;
        bool overflow = false;
        // Files renamed away in this batch, by cookie: a rename within a folder is one pair.
        std::unordered_map<uint32_t, std::pair<int, std::string>> movedAway;
        for (const auto &event : events) {
            if (event.mask & IN_Q_OVERFLOW) {
                overflow = true;
                continue;
            }
            if (event.mask & IN_IGNORED) {
                m_watches.erase(event.wd);
                continue;
            }
            const auto folder = m_watches.path(event.wd);
            if (!folder)
                continue;
            if (event.name.empty()) {
                if (event.mask & IN_ATTRIB)
                    rechecks.insert(*folder);
                else if (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF) && isRoot(*folder))
                    crawl({{*folder, true}}, 1);
                continue;
            }
            const std::string path = *folder == "/" ? "/" + event.name : *folder + "/" + event.name;
            if (!(event.mask & IN_ISDIR)) {
                noteForKeeper(event, *folder, movedAway);
                rechecks.insert(path);
            } else if (event.mask & (IN_DELETE | IN_MOVED_FROM)) {
                forgetFolder(path);
                m_keeper.forgetWithin(path);
            } else if (event.mask & (IN_CREATE | IN_MOVED_TO)) {
                if (!m_crawler.skips(path, event.name))
                    crawl({{path, true}}, 1);
            } else if (event.mask & IN_ATTRIB) {
                rechecks.insert(path);
            }
        }
        if (overflow) {
            // Events were lost: everything watched is read again.
            ++m_overflows;
            std::vector<Crawler::Root> watched;
            for (const auto &root : m_roots)
                if (root.watched)
                    watched.push_back({root.path, true});
            crawl(watched, m_options.workers);
        }
        for (const auto &path : rechecks) {
            m_dirty.insert(path);
            if (!pathHasTag(path, m_options.tag)) {
                dropFound(path);
                m_keeper.forget(path);
                continue;
            }
            if (!addFound(path))
                // Still found, but changed (a new expiry date, say): readers want to know.
                m_touched = true;
            m_keeper.remember(path);
        }
    }

    // Hands a file's event to the keeper, in the order the kernel reported them.
    void noteForKeeper(const Event &event, const std::string &folder,
                       std::unordered_map<uint32_t, std::pair<int, std::string>> &movedAway) {
        if (event.mask & IN_CREATE) {
            m_keeper.created(folder, event.name, event.at);
        } else if (event.mask & IN_DELETE) {
            m_keeper.departed(folder, event.name, event.at, true);
        } else if (event.mask & IN_MOVED_FROM) {
            movedAway[event.cookie] = {event.wd, event.name};
            m_keeper.departed(folder, event.name, event.at, false);
        } else if (event.mask & IN_MOVED_TO) {
            std::optional<std::string> source;
            if (const auto found = movedAway.find(event.cookie);
                found != movedAway.end() && found->second.first == event.wd)
                source = found->second.second;
            m_keeper.movedIn(folder, event.name, source, event.at);
        } else if (event.mask & IN_ATTRIB) {
            m_keeper.attributesChanged(folder, event.name);
        }
    }

    bool isRoot(const std::string &path) const {
        return std::any_of(m_roots.begin(), m_roots.end(),
                           [&](const RootState &root) { return root.path == path; });
    }

    // A folder deleted or moved away: nothing below it is found or watched any longer.
    void forgetFolder(const std::string &folder) {
        dropFoundWithin(folder, [&](const std::string &path) {
            m_dirty.insert(path);
            return true;
        });
        for (const int wd : m_watches.within(folder)) {
            ::inotify_rm_watch(m_inotify.get(), wd);
            m_watches.erase(wd);
        }
        std::erase_if(m_unwatched, [&](const std::string &path) { return isWithin(path, folder); });
    }

    void rescanUnwatched() {
        m_lastRescan = Clock::now();
        m_nextRescan = m_lastRescan + m_options.rescanInterval;
        std::vector<Crawler::Root> roots;
        for (const auto &root : m_roots)
            if (!root.watched)
                roots.push_back({root.path, false});
        if (!roots.empty())
            crawl(roots, m_options.workers);
        // Parts of watched roots the watch limit left out; the crawl may watch them now.
        const std::vector<std::string> unwatched(m_unwatched.begin(), m_unwatched.end());
        m_unwatched.clear();
        for (const auto &folder : unwatched) {
            dropFoundWithin(folder, [](const std::string &) { return true; });
            crawl({{folder, true}}, m_options.workers);
        }
    }

    struct RootState {
        std::string path;
        bool watched;
    };

    Options m_options;
    Crawler m_crawler;
    // Index thread only.
    StampKeeper m_keeper;
    // Found files whose stamps the keeper has yet to note.
    std::vector<std::string> m_unrecorded;
    Signal m_finishedGathering;
    Signal m_updated;
    std::vector<RootState> m_roots;

    FileDescriptor m_inotify;
    FileDescriptor m_wake;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_rescanRequested{false};

    // Index thread only. The found set: the published list (m_results), less m_left, with
    // m_joined; both sets are empty once the results are made.
    std::set<std::string> m_joined;
    std::set<std::string> m_left;
    // Found or once found paths to look at again when the results are next made; after a
    // crawl, the whole found set is.
    std::set<std::string> m_dirty;
    bool m_republish = true;
    size_t m_pathBytes = 0;
    size_t m_watchBytes = 0;
    WatchTable m_watches;
    std::set<std::string> m_unwatched;
    std::vector<Event> m_pending;
    Clock::time_point m_nextRescan{};
    Clock::time_point m_lastRescan{};
    bool m_watchLimitLogged = false;
    size_t m_overflows = 0;
    bool m_cacheDirty = false;
    // When the found set is next written to the cache; max() while nothing waits. After a
    // failed write, the wait before the next try.
    Clock::time_point m_cacheDue = Clock::time_point::max();
    std::chrono::milliseconds m_cacheRetry{m_options.cacheDelay};
    // A found file changed in the last batch without leaving or joining the results.
    bool m_touched = false;

    mutable std::mutex m_mutex;
    // Changed in place while nobody else holds them, copied first otherwise: once handed out, a
    // list never changes.
    std::shared_ptr<Paths> m_results;
    std::shared_ptr<Stamps> m_stamps;
    std::uint64_t m_version = 0;
    // The paths each version since m_logBase looked at.
    static constexpr size_t maximumLoggedBatches = 64;
    static constexpr size_t maximumLoggedPaths = 20000;
    std::deque<std::pair<std::uint64_t, std::vector<std::string>>> m_log;
    size_t m_loggedPaths = 0;
    std::uint64_t m_logBase = 0;
    Statistics m_statistics;
};

TagIndex::TagIndex(Options options, Signal finishedGathering, Signal updated)
    : m_engine(std::make_unique<Engine>(std::move(options), std::move(finishedGathering),
                                        std::move(updated))) {
}

TagIndex::~TagIndex() = default;

void TagIndex::start() {
    m_engine->start();
}

std::shared_ptr<const TagIndex::Paths> TagIndex::results() const {
    return m_engine->results();
}

TagIndex::Found TagIndex::found() const {
    return m_engine->found();
}

std::optional<std::vector<std::string>> TagIndex::changes(std::uint64_t from,
                                                          std::uint64_t to) const {
    return m_engine->changes(from, to);
}

void TagIndex::rescanUnwatched() {
    m_engine->requestRescan();
}

TagIndex::Statistics TagIndex::statistics() const {
    return m_engine->statistics();
}

} // namespace kelo
