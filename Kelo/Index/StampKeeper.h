#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace kelo {

// What the index remembers of a stamped file: which file it is, and its stamp and tag list as
// stored, byte for byte.
struct StampRecord {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::string stamp;
    std::string tags;
    bool operator==(const StampRecord &) const = default;
};

// Most programs save by writing a new file and putting it in the old one's place, and the new
// file has none of the old one's extended attributes. The keeper watches stamped files through
// the index's events, in the order the kernel reported them, and gives a file that took a
// stamped file's place in a save the old date and tags back.
//
// A save, and nothing else, is: a new file that came into being moments before it took the
// stamped file's name, either renamed over it from the same folder (a temporary file of any
// name, or an unnamed O_TMPFILE linked in), or created at the name moments after the stamped
// file was deleted or renamed away within its folder (a backup). A file that existed for longer,
// one moved in from another folder, one that carries a stamp of its own, and one that appears
// long after the stamped file went all keep what they have.
//
// Index thread only.
class StampKeeper {
public:
    using WallClock = std::chrono::system_clock;

    struct Options {
        std::string tag = "Kelo";
        std::function<void(std::string_view line)> log;
        // How close together "created" and "took the place" must be. GLib, Qt, Python and sed
        // create the temporary file, write it and rename it within milliseconds for documents;
        // a few seconds leave room for a busy disk without taking in files that were merely
        // lying around.
        std::chrono::seconds window{5};
        // A large file takes longer to write: a file created at most this long before, whose
        // last write was within `window`, still counts as freshly written.
        std::chrono::seconds longestWrite{120};
    };

    explicit StampKeeper(Options options);

    // The file at `path` is stamped as it is now (found by a crawl or a recheck): remember it.
    // Returns false when it is not stamped after all.
    bool remember(const std::string &path);
    // The file at `path` is not stamped any more, or left the index's view.
    void forget(const std::string &path);
    // Forgets everything at or below `folder`.
    void forgetWithin(const std::string &folder);

    // Events, in the kernel's order. `folder` is a watched folder's path, `name` a file in it.
    // A file was created (IN_CREATE).
    void created(const std::string &folder, const std::string &name, WallClock::time_point at);
    // A file was deleted (IN_DELETE) or renamed away (IN_MOVED_FROM).
    void departed(const std::string &folder, const std::string &name, WallClock::time_point at,
                  bool deleted);
    // A file was renamed to `name` (IN_MOVED_TO); `sameFolderSource` is its name before when it
    // came from this same folder.
    void movedIn(const std::string &folder, const std::string &name,
                 const std::optional<std::string> &sameFolderSource, WallClock::time_point at);
    // The file's attributes or times changed (IN_ATTRIB).
    void attributesChanged(const std::string &folder, const std::string &name);

    // Drops what only matters for a few seconds once they have passed.
    void expire(WallClock::time_point now);

    const std::unordered_map<std::string, StampRecord> &records() const { return m_records; }

    // At start: the records of the last run, made at `recordedAt`. A recorded file that was
    // replaced since by a file made after `recordedAt` that has no stamp gets its stamp back.
    // Returns the number of files restored.
    size_t restore(const std::unordered_map<std::string, StampRecord> &records,
                   WallClock::time_point recordedAt);

private:
    struct Departed {
        StampRecord record;
        WallClock::time_point at;
        // Deleted rather than renamed: a file with its inode number is another file, since
        // file systems hand out a freed number again at once.
        bool deleted = false;
    };

    // The file at `path` took the place of `record` at `at`, having been made at `born`.
    void arrived(const std::string &path, WallClock::time_point at,
                 std::optional<WallClock::time_point> seenCreated);
    bool carry(const std::string &path, const StampRecord &record, const char *why);
    void log(const std::string &line) const;

    Options m_options;
    std::unordered_map<std::string, StampRecord> m_records;
    // Stamped files deleted or renamed away moments ago, by their old path.
    std::unordered_map<std::string, Departed> m_departed;
    // When the index saw files being created, for file systems without a birth time.
    std::unordered_map<std::string, WallClock::time_point> m_created;
    // Stamped files whose attributes changed while another file had already taken their name:
    // whether the change was a "keep forever" can no longer be told, so nothing is carried.
    std::unordered_map<std::string, WallClock::time_point> m_uncertain;
};

} // namespace kelo
