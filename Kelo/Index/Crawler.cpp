#include "Crawler.h"

#include "TagReading.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace kelo {

const unsigned watchMask = IN_ATTRIB | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                           IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK;

namespace {

// A folder deeper than this is passed over: every level holds an open folder.
constexpr int maxDepth = 400;

// A folder waiting to be read by any worker: already open, so that its path never has to be
// resolved again.
struct Task {
    int fd = -1;
    std::string path;
    int parentWd = -1;
    std::string name;
    int depth = 0;
    bool watch = false;
};

class Walk {
public:
    Walk(const Crawler &crawler, std::string_view tag, int inotifyFd, int workers,
         const std::atomic<bool> &cancel)
        : m_crawler(crawler), m_tag(tag), m_inotifyFd(inotifyFd), m_workers(workers),
          m_cancel(cancel) {}

    CrawlOutcome run(const std::vector<Crawler::Root> &roots) {
        for (const auto &root : roots) {
            const int fd = openFolder(root.path);
            if (fd >= 0)
                m_queue.push_back(
                    Task{fd, root.path, -1, root.path, 0, root.watch && m_inotifyFd >= 0});
        }
        std::vector<std::thread> threads;
        std::vector<CrawlOutcome> outcomes(static_cast<size_t>(m_workers));
        // Workers on threads of their own: each changes its working folder and priority.
        for (int i = 0; i < m_workers; ++i)
            threads.emplace_back([this, &outcomes, i] { work(outcomes[static_cast<size_t>(i)]); });
        for (auto &thread : threads)
            thread.join();

        CrawlOutcome all;
        for (auto &outcome : outcomes) {
            all.tagged.insert(all.tagged.end(), std::make_move_iterator(outcome.tagged.begin()),
                              std::make_move_iterator(outcome.tagged.end()));
            all.watches.insert(all.watches.end(), std::make_move_iterator(outcome.watches.begin()),
                               std::make_move_iterator(outcome.watches.end()));
            all.unwatched.insert(all.unwatched.end(),
                                 std::make_move_iterator(outcome.unwatched.begin()),
                                 std::make_move_iterator(outcome.unwatched.end()));
        }
        return all;
    }

private:
    void work(CrawlOutcome &outcome) {
        // A working folder of this thread's own, for reading names relative to a folder and
        // for watching "." without the kernel resolving long paths.
        ::unshare(CLONE_FS);
        // Background work: the lowest CPU priority and the idle I/O class.
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 19);
        constexpr int ioprioWhoProcess = 1, ioprioClassIdle = 3, ioprioClassShift = 13;
        ::syscall(SYS_ioprio_set, ioprioWhoProcess, ::gettid(),
                  ioprioClassIdle << ioprioClassShift);
        TagProbe probe(m_tag);
        while (auto task = next()) {
            visit(*task, probe, outcome);
            ::close(task->fd);
        }
    }

    std::optional<Task> next() {
        std::unique_lock lock(m_mutex);
        ++m_idle;
        m_idleCount = m_idle;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return !m_queue.empty() || m_idle == m_workers || m_cancel; });
        if (m_queue.empty() || m_cancel)
            return std::nullopt;
        --m_idle;
        m_idleCount = m_idle;
        Task task = std::move(m_queue.front());
        m_queue.pop_front();
        return task;
    }

    // Hands a folder to an idle worker when one is waiting; false to read it here.
    bool share(Task &task) {
        if (m_idleCount.load(std::memory_order_relaxed) == 0)
            return false;
        std::lock_guard lock(m_mutex);
        if (m_idle == 0 || m_queue.size() >= static_cast<size_t>(m_workers))
            return false;
        m_queue.push_back(std::move(task));
        m_changed.notify_one();
        return true;
    }

    int addWatch(const Task &task, CrawlOutcome &outcome) {
        const int wd = ::inotify_add_watch(m_inotifyFd, ".", watchMask);
        if (wd >= 0) {
            outcome.watches.push_back({wd, task.parentWd, task.name});
            return wd;
        }
        // ENOSPC: the watch limit. The subtree is rescanned instead of watched.
        outcome.unwatched.push_back(task.path);
        return -1;
    }

    void visit(Task &task, TagProbe &probe, CrawlOutcome &outcome) {
        if (m_cancel)
            return;
        // Names are read relative to the folder, and the watch goes on ".".
        if (::fchdir(task.fd) != 0)
            return;
        int wd = -1;
        if (task.watch) {
            wd = addWatch(task, outcome);
            task.watch = wd >= 0;
        }
        if (probe.folderHasTag(task.fd))
            outcome.tagged.push_back(task.path);

        std::vector<std::string> folders;
        alignas(8) char buffer[32768];
        while (true) {
            const long size = ::syscall(SYS_getdents64, task.fd, buffer, sizeof buffer);
            if (size <= 0)
                break;
            for (long offset = 0; offset < size;) {
                const auto *entry = reinterpret_cast<const dirent64 *>(buffer + offset);
                offset += entry->d_reclen;
                const char *name = entry->d_name;
                if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                    continue;
                unsigned char type = entry->d_type;
                if (type == DT_UNKNOWN) {
                    struct stat info {};
                    if (::fstatat(task.fd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
                        continue;
                    type = S_ISDIR(info.st_mode) ? DT_DIR : S_ISREG(info.st_mode) ? DT_REG : DT_LNK;
                }
                if (type == DT_DIR)
                    folders.emplace_back(name);
                else if (type == DT_REG && probe.nameHasTag(name))
                    outcome.tagged.push_back(task.path + "/" + name);
            }
        }

        for (auto &name : folders) {
            if (m_cancel)
                return;
            std::string path = task.path == "/" ? "/" + name : task.path + "/" + name;
            if (m_crawler.skips(path, name) || task.depth + 1 > maxDepth)
                continue;
            const int fd =
                ::openat(task.fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd < 0)
                continue;
            Task child{fd, std::move(path), wd, std::move(name), task.depth + 1, task.watch};
            if (share(child))
                continue;
            visit(child, probe, outcome);
            ::close(child.fd);
        }
    }

    const Crawler &m_crawler;
    std::string_view m_tag;
    int m_inotifyFd;
    int m_workers;
    const std::atomic<bool> &m_cancel;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Task> m_queue;
    int m_idle = 0;
    // m_idle, readable without the lock: most folders are read where they are found.
    std::atomic<int> m_idleCount{0};
};

} // namespace

Crawler::Crawler(const SearchScope &scope, std::string tag) : m_tag(std::move(tag)) {
    for (const auto &path : scope.pruned)
        m_skippedPaths.insert(path.string());
    for (const auto &path : scope.mountPoints)
        m_skippedPaths.insert(path.string());
    for (const auto &root : scope.roots)
        m_skippedPaths.insert(root.path.string());
    m_skippedNames = scope.prunedNames;
}

bool Crawler::skips(const std::string &path, std::string_view name) const {
    return std::find(m_skippedNames.begin(), m_skippedNames.end(), name) != m_skippedNames.end() ||
           m_skippedPaths.contains(path);
}

CrawlOutcome Crawler::crawl(const std::vector<Root> &roots, int inotifyFd, int workers,
                            const std::atomic<bool> &cancel) const {
    Walk walk(*this, m_tag, inotifyFd, std::max(1, workers), cancel);
    return walk.run(roots);
}

} // namespace kelo
