#include "Crawler.h"

#include "FileDescriptor.h"
#include "TagReading.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
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

constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// The folders a worker keeps open on its way down: the first it was given and the deepest.
constexpr size_t openFrames = Crawler::openFoldersPerWorker - 2;

// A folder waiting to be read by any worker: already open, so that its path never has to be
// resolved again.
struct Task {
    FileDescriptor fd;
    std::string path;
    int parentWd = -1;
    std::string name;
    bool watch = false;
    std::uint64_t mount = 0;
};

// The id of the mount a folder is on; 0 where the kernel cannot say. A mount made after the
// scope was read (a bind mount of a folder into itself, say) is recognised by it, so that the
// walk stays on its mount without a limit on depth.
std::uint64_t mountOf(int fd) {
    // glibc 2.36's struct statx lacks stx_mnt_id; the kernel's layout has it at byte 144.
    constexpr size_t mountIdOffset = 144;
    alignas(8) unsigned char buffer[256] = {};
    if (::syscall(SYS_statx, fd, "", AT_EMPTY_PATH, STATX_MNT_ID, buffer) != 0)
        return 0;
    std::uint32_t mask = 0;
    std::memcpy(&mask, buffer, sizeof mask);
    if (!(mask & STATX_MNT_ID))
        return 0;
    std::uint64_t id = 0;
    std::memcpy(&id, buffer + mountIdOffset, sizeof id);
    return id;
}

// A folder a worker is in, on the worker's own stack of them: the walk goes as deep as the tree
// does without going deeper on the thread's stack.
struct Frame {
    // None once closed to make room for deeper folders.
    FileDescriptor fd;
    // The folder's path is the worker's path up to here.
    size_t pathLength = 0;
    // The folder's watch, the parent of its subfolders' watches.
    int wd = -1;
    // Whether its subfolders are watched.
    bool watch = false;
    // Subfolders still to walk.
    std::vector<std::string> folders;
    // The mount it is on: its subfolders on another are not entered.
    std::uint64_t mount = 0;
    // Which folder it is, noted when it is closed: what is opened again must be the same one.
    dev_t device = 0;
    ino_t inode = 0;
};

bool isFolderOf(int fd, const Frame &frame) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 && info.st_dev == frame.device && info.st_ino == frame.inode;
}

class Walk {
public:
    Walk(const Crawler &crawler, std::string_view tag, int inotifyFd, int workers,
         const std::atomic<bool> &cancel)
        : m_crawler(crawler), m_tag(tag), m_inotifyFd(inotifyFd), m_workers(workers),
          m_cancel(cancel) {}

    CrawlOutcome run(const std::vector<Crawler::Root> &roots) {
        for (const auto &root : roots) {
            FileDescriptor fd(openFolder(root.path));
            if (!fd)
                continue;
            const std::uint64_t mount = mountOf(fd.get());
            m_queue.push_back(Task{std::move(fd), root.path, -1, root.path,
                                   root.watch && m_inotifyFd >= 0, mount});
        }
        std::vector<std::thread> threads;
        std::vector<CrawlOutcome> outcomes(static_cast<size_t>(m_workers));
        // Workers on threads of their own: each changes its working folder and priority.
        for (int i = 0; i < m_workers; ++i)
            threads.emplace_back([this, &outcomes, i] { work(outcomes[static_cast<size_t>(i)]); });
        for (auto &thread : threads)
            thread.join();
        // Folders still waiting when the crawl was cancelled.
        m_queue.clear();

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
    class Worker;

    void work(CrawlOutcome &outcome);

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

    // Hands an open folder to an idle worker when one is waiting (taking `fd`); false to read
    // it here.
    bool share(FileDescriptor &fd, const std::string &path, int parentWd, const std::string &name,
               bool watch, std::uint64_t mount) {
        if (m_idleCount.load(std::memory_order_relaxed) == 0)
            return false;
        std::lock_guard lock(m_mutex);
        if (m_idle == 0 || m_queue.size() >= static_cast<size_t>(m_workers))
            return false;
        m_queue.push_back(Task{std::move(fd), path, parentWd, name, watch, mount});
        m_changed.notify_one();
        return true;
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

// One worker's walk down a task's folder: depth first, on a stack of frames of its own. Only
// the deepest folders stay open; the shallower ones are closed on the way down and opened
// again on the way back, through ".." of the folder left, checked to be the same folder.
class Walk::Worker {
public:
    Worker(Walk &walk, CrawlOutcome &outcome)
        : m_walk(walk), m_outcome(outcome), m_probe(walk.m_tag),
          m_buffer(std::make_unique<Buffer>()) {}
    ~Worker() { closeAll(); }
    Worker(const Worker &) = delete;
    Worker &operator=(const Worker &) = delete;

    // Walks the folder open as `task.fd` and everything below it not handed to other workers.
    void walk(Task task) {
        m_path = std::move(task.path);
        if (!enter(std::move(task.fd), task.parentWd, task.name, task.watch, task.mount))
            return;
        while (!m_frames.empty()) {
            if (m_walk.m_cancel) {
                closeAll();
                return;
            }
            Frame &frame = m_frames.back();
            if (frame.folders.empty()) {
                leave();
                continue;
            }
            const std::string name = std::move(frame.folders.back());
            frame.folders.pop_back();
            const size_t parentLength = frame.pathLength;
            const int parentWd = frame.wd;
            const bool watch = frame.watch;
            appendName(name);
            FileDescriptor fd;
            if (!m_walk.m_crawler.skips(m_path, name))
                fd.reset(::openat(frame.fd.get(), name.c_str(), folderFlags));
            const std::uint64_t mount = frame.mount;
            if (fd && mountOf(fd.get()) != mount)
                fd.reset();
            if (!fd || m_walk.share(fd, m_path, parentWd, name, watch, mount) ||
                !enter(std::move(fd), parentWd, name, watch, mount))
                m_path.resize(parentLength);
        }
    }

private:
    // Room for a few hundred names at a time, on the heap: one per worker, not one per level.
    struct alignas(dirent64) Buffer {
        char bytes[32768];
    };

    // Reads the folder open as `fd`, at the worker's path, and makes it the deepest frame; false
    // (and `fd` closed) when it cannot be read.
    bool enter(FileDescriptor fd, int parentWd, const std::string &name, bool watch,
               std::uint64_t mount) {
        // Names are read relative to the folder, and the watch goes on ".".
        if (::fchdir(fd.get()) != 0)
            return false;
        Frame frame;
        if (watch) {
            frame.wd = addWatch(parentWd, name);
            frame.watch = frame.wd >= 0;
        }
        if (m_probe.folderHasTag(fd.get()))
            m_outcome.tagged.push_back(m_path);
        read(fd.get(), frame.folders);
        makeRoom();
        frame.fd = std::move(fd);
        frame.mount = mount;
        frame.pathLength = m_path.size();
        m_frames.push_back(std::move(frame));
        return true;
    }

    int addWatch(int parentWd, const std::string &name) {
        const int wd = ::inotify_add_watch(m_walk.m_inotifyFd, ".", watchMask);
        if (wd >= 0) {
            m_outcome.watches.push_back({wd, parentWd, name});
            return wd;
        }
        // ENOSPC: the watch limit. The subtree is rescanned instead of watched.
        m_outcome.unwatched.push_back(m_path);
        return -1;
    }

    // Notes the tagged files of the folder open as `fd` (the working folder) and gives its
    // subfolders.
    void read(int fd, std::vector<std::string> &folders) {
        while (true) {
            const long size =
                ::syscall(SYS_getdents64, fd, m_buffer->bytes, sizeof m_buffer->bytes);
            if (size <= 0)
                break;
            for (long offset = 0; offset < size;) {
                const auto *entry = reinterpret_cast<const dirent64 *>(m_buffer->bytes + offset);
                offset += entry->d_reclen;
                const char *name = entry->d_name;
                if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                    continue;
                unsigned char type = entry->d_type;
                if (type == DT_UNKNOWN) {
                    struct stat info {};
                    if (::fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
                        continue;
                    type = S_ISDIR(info.st_mode) ? DT_DIR : S_ISREG(info.st_mode) ? DT_REG : DT_LNK;
                }
                if (type == DT_DIR) {
                    folders.emplace_back(name);
                } else if (type == DT_REG && m_probe.nameHasTag(name)) {
                    std::string path = m_path;
                    appendName(path, name);
                    m_outcome.tagged.push_back(std::move(path));
                }
            }
        }
    }

    // Closes the shallowest open frame but the first when the frames hold as many descriptors
    // as a worker may. Open are always the first frame and the deepest ones from
    // m_closedUpTo on.
    void makeRoom() {
        if (m_frames.empty() || 1 + m_frames.size() - m_closedUpTo < openFrames)
            return;
        Frame &frame = m_frames[m_closedUpTo++];
        struct stat info {};
        if (::fstat(frame.fd.get(), &info) == 0) {
            frame.device = info.st_dev;
            frame.inode = info.st_ino;
        }
        frame.fd.reset();
    }

    // Done with the deepest frame: back to its parent, opened again if it was closed. The
    // frame's folder closes once the parent is open.
    void leave() {
        const Frame done = std::move(m_frames.back());
        m_frames.pop_back();
        m_closedUpTo = std::max<size_t>(1, std::min(m_closedUpTo, m_frames.size()));
        if (!m_frames.empty()) {
            m_path.resize(m_frames.back().pathLength);
            if (!m_frames.back().fd)
                reopen(done.fd.get());
        }
    }

    // Opens the deepest frame again from `child`, the folder just left (-1 for none). When its
    // ".." is another folder, the walk's folders were moved while it was below them: they are
    // looked up by name from the first frame; what cannot be found so is passed over (the
    // move is reported to the index by its watches).
    void reopen(int child) {
        Frame &frame = m_frames.back();
        if (child >= 0) {
            FileDescriptor parent(::openat(child, "..", folderFlags));
            if (parent && isFolderOf(parent.get(), frame)) {
                frame.fd = std::move(parent);
                m_closedUpTo = m_frames.size() - 1;
                return;
            }
        }
        if (frame.folders.empty())
            return; // nothing left to do there
        // Every frame but the first is closed down to this one: down from the first frame by
        // name, each folder on the way checked, holding one open besides the first.
        FileDescriptor at;
        size_t start = m_frames.front().pathLength;
        for (size_t level = 1; level < m_frames.size(); ++level) {
            const size_t end = m_frames[level].pathLength;
            while (m_path[start] == '/')
                ++start;
            const std::string name = m_path.substr(start, end - start);
            FileDescriptor next(::openat(level == 1 ? m_frames.front().fd.get() : at.get(),
                                         name.c_str(), folderFlags));
            at.reset();
            if (!next || !isFolderOf(next.get(), m_frames[level])) {
                // Gone from here with everything below it.
                for (size_t lost = level; lost < m_frames.size(); ++lost)
                    m_frames[lost].folders.clear();
                return;
            }
            at = std::move(next);
            start = end;
        }
        frame.fd = std::move(at);
        m_closedUpTo = m_frames.size() - 1;
    }

    void closeAll() {
        m_frames.clear();
        m_closedUpTo = 1;
    }

    static void appendName(std::string &path, std::string_view name) {
        if (path != "/")
            path += '/';
        path += name;
    }
    void appendName(std::string_view name) { appendName(m_path, name); }

    Walk &m_walk;
    CrawlOutcome &m_outcome;
    TagProbe m_probe;
    std::unique_ptr<Buffer> m_buffer;
    // The path of the deepest frame; each frame's path is the start of it.
    std::string m_path;
    std::vector<Frame> m_frames;
    // Frames 1 to here (not included) are closed.
    size_t m_closedUpTo = 1;
};

void Walk::work(CrawlOutcome &outcome) {
    // A working folder of this thread's own, for reading names relative to a folder and for
    // watching "." without the kernel resolving long paths.
    ::unshare(CLONE_FS);
    // Background work: the lowest CPU priority and the idle I/O class.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 19);
    constexpr int ioprioWhoProcess = 1, ioprioClassIdle = 3, ioprioClassShift = 13;
    ::syscall(SYS_ioprio_set, ioprioWhoProcess, ::gettid(), ioprioClassIdle << ioprioClassShift);
    Worker worker(*this, outcome);
    while (auto task = next())
        worker.walk(std::move(*task));
}

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
