#include "StampReader.h"

#include "ExpiryStamp.h"

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
    int folder = AT_FDCWD;
    for (size_t start = 0; start < path.size();) {
        size_t end = path.size();
        if (end - start >= PATH_MAX) {
            end = path.rfind('/', start + PATH_MAX - 1);
            if (end == std::string::npos || end <= start) {
                if (folder != AT_FDCWD)
                    ::close(folder);
                return -1;
            }
        }
        const int next = ::openat(folder, path.substr(start, end - start).c_str(), flags);
        if (folder != AT_FDCWD)
            ::close(folder);
        if (next < 0)
            return -1;
        folder = next;
        start = end + 1;
    }
    return folder;
}

// readStamp for a path of any length: a long one is read through its open folder.
std::optional<Instant> readAnyStamp(const std::string &path, const Calendar &calendar) {
    const size_t slash = path.rfind('/');
    if (path.size() < PATH_MAX || slash == std::string::npos)
        return readStamp(path, calendar);
    const int folder = openFolderFollowing(path.substr(0, slash));
    if (folder < 0)
        return std::nullopt;
    const auto stamp =
        readStamp("/proc/self/fd/" + std::to_string(folder) + path.substr(slash), calendar);
    ::close(folder);
    return stamp;
}

// Reads paths [begin, end) into `stamps`. Runs on a thread of its own: it changes its working
// folder.
void readRange(const std::vector<std::filesystem::path> &paths, size_t begin, size_t end,
               Calendar calendar, Stamps &stamps) {
    ::unshare(CLONE_FS);
    // Most files share a handful of expiry days: parse each text once.
    std::unordered_map<std::string, std::optional<Instant>> days;
    std::string openFolderPath;
    int folder = -1;
    for (size_t i = begin; i < end; ++i) {
        const std::string &path = paths[i].native();
        const size_t slash = path.rfind('/');
        if (slash == std::string::npos)
            continue;
        const std::string parent = slash == 0 ? "/" : path.substr(0, slash);
        if (parent != openFolderPath) {
            if (folder >= 0)
                ::close(folder);
            folder = openFolderFollowing(parent);
            openFolderPath = parent;
            if (folder >= 0 && ::fchdir(folder) != 0) {
                ::close(folder);
                folder = -1;
            }
        }
        char value[64];
        // Symbolic links are followed, as readStamp follows them.
        const ssize_t size =
            folder >= 0
                ? ::getxattr(path.c_str() + slash + 1, stampAttributeName, value, sizeof value)
                : ::getxattr(path.c_str(), stampAttributeName, value, sizeof value);
        if (size < 1)
            continue;
        const std::string text(value, static_cast<size_t>(size));
        auto day = days.find(text);
        if (day == days.end())
            day = days.emplace(text, parseStampValue(text, calendar)).first;
        stamps[i] = day->second;
    }
    if (folder >= 0)
        ::close(folder);
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
