#include "StampReader.h"

#include "ExpiryStamp.h"
#include "FileDescriptor.h"

#include <climits>
#include <string>
#include <thread>
#include <unordered_map>

#include <fcntl.h>
#include <sched.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace kelo {
namespace {

// Below this many files the threads cost more than they save.
constexpr size_t smallestParallelRead = 64;

using Stamps = std::vector<std::optional<Instant>>;

// Opens a folder as a lookup of its path would, symbolic links followed; a path too long for
// one lookup is looked up a piece at a time, each piece ending at a slash.
int openFolderFollowing(const std::string &path) {
    constexpr int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    if (path.size() < PATH_MAX)
        return ::open(path.c_str(), flags);
    // AT_FDCWD to begin with, which is never closed.
    FileDescriptor folder(AT_FDCWD);
    for (size_t start = 0; start < path.size();) {
        size_t end = path.size();
        if (end - start >= PATH_MAX) {
            end = path.rfind('/', start + PATH_MAX - 1);
            if (end == std::string::npos || end <= start)
                return -1;
        }
        folder =
            FileDescriptor(::openat(folder.get(), path.substr(start, end - start).c_str(), flags));
        if (!folder)
            return -1;
        start = end + 1;
    }
    return folder.release();
}

// readStamp for a path of any length: a long one is read through its open folder.
std::optional<Instant> readAnyStamp(const std::string &path, const Calendar &calendar) {
    const size_t slash = path.rfind('/');
    if (path.size() < PATH_MAX || slash == std::string::npos)
        return readStamp(path, calendar);
    const FileDescriptor folder(openFolderFollowing(path.substr(0, slash)));
    if (!folder)
        return std::nullopt;
    return readStamp("/proc/self/fd/" + std::to_string(folder.get()) + path.substr(slash),
                     calendar);
}

// Reads paths [begin, end) into `stamps`. Runs on a thread of its own: it changes its working
// folder.
void readRange(const std::vector<std::filesystem::path> &paths, size_t begin, size_t end,
               Calendar calendar, Stamps &stamps) {
    ::unshare(CLONE_FS);
    // Most files share a handful of expiry days: parse each text once.
    std::unordered_map<std::string, std::optional<Instant>> days;
    std::string openFolderPath;
    FileDescriptor folder;
    for (size_t i = begin; i < end; ++i) {
        const std::string &path = paths[i].native();
        const size_t slash = path.rfind('/');
        if (slash == std::string::npos)
            continue;
        const std::string parent = slash == 0 ? "/" : path.substr(0, slash);
        if (parent != openFolderPath) {
            folder.reset(openFolderFollowing(parent));
            openFolderPath = parent;
            if (folder && ::fchdir(folder.get()) != 0)
                folder.reset();
        }
        char value[64];
        // Symbolic links are followed, as readStamp follows them.
        const ssize_t size =
            folder ? ::getxattr(path.c_str() + slash + 1, stampAttributeName, value, sizeof value)
                   : ::getxattr(path.c_str(), stampAttributeName, value, sizeof value);
        if (size < 1)
            continue;
        const std::string text(value, static_cast<size_t>(size));
        auto day = days.find(text);
        if (day == days.end())
            day = days.emplace(text, parseStampValue(text, calendar)).first;
        stamps[i] = day->second;
    }
}

} // namespace

Stamps readStamps(const std::vector<std::filesystem::path> &paths, const Calendar &calendar,
                  int threads) {
    Stamps stamps(paths.size());
    if (paths.size() < smallestParallelRead) {
        for (size_t i = 0; i < paths.size(); ++i)
            stamps[i] = readAnyStamp(paths[i].native(), calendar);
        return stamps;
    }
    // Ranges of about equal size, each ending at a change of folder.
    std::vector<size_t> bounds = {0};
    const size_t count = static_cast<size_t>(std::max(1, threads));
    for (size_t part = 1; part < count; ++part) {
        size_t at = std::max(bounds.back(), paths.size() * part / count);
        while (at > bounds.back() && at < paths.size() &&
               paths[at].parent_path() == paths[at - 1].parent_path())
            ++at;
        bounds.push_back(at);
    }
    bounds.push_back(paths.size());

    std::vector<std::thread> workers;
    for (size_t part = 0; part + 1 < bounds.size(); ++part)
        if (bounds[part] < bounds[part + 1])
            workers.emplace_back(readRange, std::cref(paths), bounds[part], bounds[part + 1],
                                 calendar, std::ref(stamps));
    for (auto &worker : workers)
        worker.join();
    return stamps;
}

} // namespace kelo
