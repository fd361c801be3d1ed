#include "StampKeeper.h"

#include "ExpiryStamp.h"
#include "FileDescriptor.h"
#include "Files.h"
#include "LogLine.h"
#include "TagList.h"
#include "TagReading.h"

#include <cerrno>
#include <climits>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace kelo {
namespace {

using WallClock = StampKeeper::WallClock;

std::string join(const std::string &folder, const std::string &name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

// A path the kernel accepts: paths longer than PATH_MAX go through their open parent folder.
class ShortPath {
public:
    explicit ShortPath(const std::string &path) {
        if (path.size() < PATH_MAX) {
            m_text = path;
            return;
        }
        const size_t slash = path.rfind('/');
        m_folder.reset(openFolder(path.substr(0, slash)));
        if (m_folder)
            m_text = "/proc/self/fd/" + std::to_string(m_folder.get()) + path.substr(slash);
    }

    const char *c_str() const { return m_text.c_str(); }
    bool valid() const { return !m_text.empty(); }

private:
    FileDescriptor m_folder;
    std::string m_text;
};

WallClock::time_point wallTime(const statx_timestamp &time) {
    return WallClock::time_point(std::chrono::duration_cast<WallClock::duration>(
        std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec)));
}

struct FileInfo {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    // None where the file system keeps no birth time.
    std::optional<WallClock::time_point> born;
    WallClock::time_point modified;
};

// The regular file at `path`, or none (missing, a folder, a link, anything else).
std::optional<FileInfo> inspect(const ShortPath &path) {
    struct statx status {};
    if (!path.valid() || ::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW,
                                 STATX_TYPE | STATX_INO | STATX_MTIME | STATX_BTIME, &status) != 0)
        return std::nullopt;
    if (!S_ISREG(status.stx_mode))
        return std::nullopt;
    FileInfo info;
    info.device = (static_cast<std::uint64_t>(status.stx_dev_major) << 32) | status.stx_dev_minor;
    info.inode = status.stx_ino;
    info.modified = wallTime(status.stx_mtime);
    if (status.stx_mask & STATX_BTIME)
        info.born = wallTime(status.stx_btime);
    return info;
}

// The attribute's bytes, or none when the file has no such attribute or it cannot be read.
// Exactly as long as the value: the keeper holds one per stamped file for as long as Kelo runs.
std::optional<std::string> readAttribute(const ShortPath &path, const char *name) {
    char small[256];
    const ssize_t read = ::lgetxattr(path.c_str(), name, small, sizeof small);
    if (read >= 0)
        return std::string(small, static_cast<size_t>(read));
    if (errno != ERANGE)
        return std::nullopt;
    std::string value;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const ssize_t needed = ::lgetxattr(path.c_str(), name, nullptr, 0);
        if (needed < 0)
            return std::nullopt;
        value.assign(static_cast<size_t>(needed) + 1, '\0');
        const ssize_t size = ::lgetxattr(path.c_str(), name, value.data(), value.size());
        if (size >= 0) {
            value.resize(static_cast<size_t>(size));
            value.shrink_to_fit();
            return value;
        }
        if (errno != ERANGE)
            return std::nullopt;
    }
    return std::nullopt;
}

bool sameFile(const FileInfo &info, const StampRecord &record) {
    return info.device == record.device && info.inode == record.inode;
}

template <typename Duration> Duration distance(WallClock::time_point a, WallClock::time_point b) {
    return std::chrono::duration_cast<Duration>(a > b ? a - b : b - a);
}

} // namespace

StampKeeper::StampKeeper(Options options) : m_options(std::move(options)) {
}

void StampKeeper::log(const std::string &line) const {
    if (m_options.log)
        m_options.log(line);
}

bool StampKeeper::remember(const std::string &path) {
    const ShortPath shortPath(path);
    const auto info = inspect(shortPath);
    auto stamp = info ? readAttribute(shortPath, stampAttributeName) : std::nullopt;
    if (!stamp || stamp->empty()) {
        forget(path);
        return false;
    }
    StampRecord &record = m_records[path];
    record.device = info->device;
    record.inode = info->inode;
    record.stamp = std::move(*stamp);
    record.tags = readAttribute(shortPath, tagListAttributeName).value_or(std::string());
    return true;
}

void StampKeeper::forget(const std::string &path) {
    m_records.erase(path);
}

void StampKeeper::forgetWithin(const std::string &folder) {
    std::erase_if(m_records, [&](const auto &entry) { return isWithin(entry.first, folder); });
    std::erase_if(m_departed, [&](const auto &entry) { return isWithin(entry.first, folder); });
}

void StampKeeper::created(const std::string &folder, const std::string &name,
                          WallClock::time_point at) {
    const std::string path = join(folder, name);
    m_created[path] = at;
    arrived(path, at, at);
}

void StampKeeper::departed(const std::string &folder, const std::string &name,
                           WallClock::time_point at, bool deleted) {
    const std::string path = join(folder, name);
    const auto found = m_records.find(path);
    if (found != m_records.end()) {
        m_departed[path] = {std::move(found->second), at, deleted};
        m_records.erase(found);
    }
    m_uncertain.erase(path);
}

void StampKeeper::movedIn(const std::string &folder, const std::string &name,
                          const std::optional<std::string> &sameFolderSource,
                          WallClock::time_point at) {
    const std::string path = join(folder, name);
    if (!sameFolderSource) {
        // Moved in from elsewhere: whatever stood here is replaced, not saved.
        m_records.erase(path);
        m_departed.erase(path);
        m_uncertain.erase(path);
        return;
    }
    std::optional<WallClock::time_point> seenCreated;
    if (const auto found = m_created.find(join(folder, *sameFolderSource));
        found != m_created.end()) {
        seenCreated = found->second;
        m_created.erase(found);
    }
    arrived(path, at, seenCreated);
}

void StampKeeper::arrived(const std::string &path, WallClock::time_point at,
                          std::optional<WallClock::time_point> seenCreated) {
    // The stamped file this one replaces: still recorded at the name (renamed over), or gone
    // from it moments ago (deleted, or renamed to a backup name).
    std::optional<StampRecord> old;
    WallClock::time_point goneAt = at;
    bool deleted = false;
    if (const auto found = m_records.find(path); found != m_records.end()) {
        old = found->second;
    } else if (const auto gone = m_departed.find(path); gone != m_departed.end()) {
        if (distance<std::chrono::milliseconds>(at, gone->second.at) <= m_options.window) {
            old = gone->second.record;
            goneAt = gone->second.at;
            deleted = gone->second.deleted;
        }
    }
    if (!old)
        return;

    const ShortPath shortPath(path);
    const auto info = inspect(shortPath);
    if (!info)
        return;
    // The stamped file itself, back under its name.
    if (!deleted && sameFile(*info, *old))
        return;
    m_records.erase(path);
    m_departed.erase(path);
    if (m_uncertain.erase(path)) {
        log("Kelo: the date of " + escapedLogLine(path) +
            " changed just before another file took its place; the date was not carried over");
        return;
    }
    // A file with a date of its own keeps it.
    if (readAttribute(shortPath, stampAttributeName)) {
        remember(path);
        return;
    }
    const auto born = info->born ? info->born : seenCreated;
    if (!born)
        return;
    const bool madeJustNow = distance<std::chrono::milliseconds>(*born, goneAt) <= m_options.window;
    const bool writtenUntilNow =
        *born <= goneAt && goneAt - *born <= m_options.longestWrite &&
        distance<std::chrono::milliseconds>(info->modified, goneAt) <= m_options.window;
    if (madeJustNow || writtenUntilNow)
        carry(path, *old, nullptr);
}

bool StampKeeper::carry(const std::string &path, const StampRecord &record, const char *why) {
    const ShortPath shortPath(path);
    // XATTR_CREATE: a date written meanwhile by anyone else wins.
    if (::lsetxattr(shortPath.c_str(), stampAttributeName, record.stamp.data(), record.stamp.size(),
                    XATTR_CREATE) != 0) {
        if (errno != EEXIST)
            log("Kelo: could not carry the date of " + escapedLogLine(path) +
                " over to the saved file: " + std::strerror(errno));
        remember(path);
        return false;
    }
    const auto tags = readAttribute(shortPath, tagListAttributeName);
    int result = 0;
    if (!tags || tags->empty()) {
        if (!record.tags.empty())
            result = ::lsetxattr(shortPath.c_str(), tagListAttributeName, record.tags.data(),
                                 record.tags.size(), 0);
    } else if (!tagListContains(*tags, m_options.tag)) {
        const std::string value = tagListAdding(*tags, m_options.tag);
        result =
            ::lsetxattr(shortPath.c_str(), tagListAttributeName, value.data(), value.size(), 0);
    }
    if (result != 0)
        log("Kelo: could not carry the tags of " + escapedLogLine(path) +
            " over to the saved file: " + std::strerror(errno));
    if (why)
        log("Kelo: gave " + escapedLogLine(path) + " its date back: " + why);
    remember(path);
    return true;
}

void StampKeeper::attributesChanged(const std::string &folder, const std::string &name) {
    const std::string path = join(folder, name);
    const auto found = m_records.find(path);
    if (found == m_records.end())
        return;
    const ShortPath shortPath(path);
    const auto info = inspect(shortPath);
    if (info && sameFile(*info, found->second)) {
        remember(path);
        return;
    }
    // Another file holds the name already; the change was on the one that was replaced.
    m_uncertain[path] = WallClock::now();
}

void StampKeeper::expire(WallClock::time_point now) {
    std::erase_if(m_departed,
                  [&](const auto &entry) { return now - entry.second.at > m_options.window; });
    std::erase_if(m_created,
                  [&](const auto &entry) { return now - entry.second > m_options.longestWrite; });
    std::erase_if(m_uncertain,
                  [&](const auto &entry) { return now - entry.second > m_options.window; });
}

size_t StampKeeper::restore(const std::unordered_map<std::string, StampRecord> &records,
                            WallClock::time_point recordedAt) {
    size_t restored = 0;
    for (const auto &[path, record] : records) {
        const ShortPath shortPath(path);
        const auto info = inspect(shortPath);
        // Only a birth time can say the file was made after the record.
        if (!info || sameFile(*info, record) || !info->born || *info->born <= recordedAt)
            continue;
        if (readAttribute(shortPath, stampAttributeName))
            continue;
        if (carry(path, record, "it was saved while Kelo was not running"))
            ++restored;
    }
    return restored;
}

} // namespace kelo
