// Finding the time zone in force now. ICU caches its default zone for the life of the process,
// so the zone is worked out here from `TZ` and /etc/localtime, and a cache keyed on what those
// hold keeps repeated calls cheap: `TZ` is compared at every call, /etc/localtime is looked at
// again once a second at most (a system zone change is seen within that second).

#include "Calendar.h"
#include "PosixTimeZone.h"

#include <cstdlib>
#include <mutex>
#include <string>

#include <ctime>

#include <sys/stat.h>
#include <unistd.h>

#include <unicode/unistr.h>

namespace kelo {
namespace {

constexpr const char *localtimePath = "/etc/localtime";

// What the zone in force depends on. Equal keys mean the same zone.
struct ZoneKey {
    bool tzSet = false;
    std::string tz;
    dev_t device = 0;
    ino_t inode = 0;
    timespec modified{};
    off_t size = 0;

    bool operator==(const ZoneKey &o) const {
        return tzSet == o.tzSet && tz == o.tz && device == o.device && inode == o.inode &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec &&
               size == o.size;
    }
};

long long coarseSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return now.tv_sec;
}

ZoneKey currentKey() {
    ZoneKey key;
    if (const char *tz = std::getenv("TZ")) {
        key.tzSet = true;
        key.tz = tz;
        return key;
    }
    // A zone change replaces the link (or the file), which changes at least its inode or time.
    struct stat info {};
    if (::lstat(localtimePath, &info) != 0)
        return key;
    key.device = info.st_dev;
    key.inode = info.st_ino;
    key.modified = info.st_mtim;
    key.size = info.st_size;
    return key;
}

std::string linkTarget() {
    char target[4096];
    const ssize_t n = ::readlink(localtimePath, target, sizeof target);
    return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}

// An Olson id that ICU knows, or null.
std::unique_ptr<icu::TimeZone> knownZone(std::string_view id) {
    std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(
        icu::StringPiece(id.data(), static_cast<int32_t>(id.size())))));
    if (!zone || *zone == icu::TimeZone::getUnknown())
        return nullptr;
    return zone;
}

std::string_view zoneIdFromPath(std::string_view path) {
    for (std::string_view marker : {"/zoneinfo/posix/", "/zoneinfo/right/", "/zoneinfo/"}) {
        const size_t at = path.find(marker);
        if (at != std::string_view::npos)
            return path.substr(at + marker.size());
    }
    return {};
}

std::unique_ptr<icu::TimeZone> zoneForTz(std::string_view tz) {
    // glibc reads an empty TZ as UTC.
    if (tz.empty())
        return std::unique_ptr<icu::TimeZone>(icu::TimeZone::getGMT()->clone());
    if (tz.front() == ':')
        tz.remove_prefix(1);
    if (auto zone = knownZone(tz))
        return zone;
    if (auto id = zoneIdFromPath(tz); !id.empty())
        if (auto zone = knownZone(id))
            return zone;
    if (auto zone = zoneFromPosixRule(tz))
        return zone;
    return nullptr;
}

std::unique_ptr<icu::TimeZone> detect(const ZoneKey &key) {
    if (key.tzSet) {
        if (auto zone = zoneForTz(key.tz))
            return zone;
    } else if (auto id = zoneIdFromPath(linkTarget()); !id.empty()) {
        if (auto zone = knownZone(id))
            return zone;
    }
    // A copied /etc/localtime or a TZ nobody can read: let ICU work it out (slow, but cached).
    return std::unique_ptr<icu::TimeZone>(icu::TimeZone::detectHostTimeZone());
}

} // namespace

std::shared_ptr<const icu::TimeZone> currentTimeZone() {
    static std::mutex mutex;
    static ZoneKey cachedKey;
    static std::shared_ptr<const icu::TimeZone> cachedZone;
    static long long localtimeCheckedAt = 0;

    std::lock_guard lock(mutex);
    const char *tz = std::getenv("TZ");
    if (cachedZone && !tz && !cachedKey.tzSet && coarseSeconds() == localtimeCheckedAt)
        return cachedZone;
    if (cachedZone && tz && cachedKey.tzSet && cachedKey.tz == tz)
        return cachedZone;

    ZoneKey key = currentKey();
    if (!key.tzSet)
        localtimeCheckedAt = coarseSeconds();
    if (cachedZone && key == cachedKey)
        return cachedZone;
    cachedZone = detect(key);
    cachedKey = std::move(key);
    return cachedZone;
}

std::shared_ptr<const icu::TimeZone> timeZoneNamed(std::string_view tz) {
    if (auto zone = zoneForTz(tz))
        return zone;
    return std::shared_ptr<const icu::TimeZone>(icu::TimeZone::getUnknown().clone());
}

std::string currentDateLocaleName() {
    std::string_view name;
    for (const char *variable : {"LC_ALL", "LC_TIME", "LANG"}) {
        const char *value = std::getenv(variable);
        if (value && *value) {
            name = value;
            break;
        }
    }
    // "nl_NL.UTF-8@euro" names the locale nl_NL.
    name = name.substr(0, name.find_first_of(".@"));
    if (name.empty() || name == "C" || name == "POSIX")
        return "en_US_POSIX";
    return std::string(name);
}

} // namespace kelo
