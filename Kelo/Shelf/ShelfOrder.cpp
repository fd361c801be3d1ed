#include "ShelfOrder.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <functional>
#include <set>
#include <unordered_map>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <unicode/bytestream.h>
#include <unicode/coll.h>
#include <unicode/normalizer2.h>
#include <unicode/utf8.h>

namespace kelo {
namespace {

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool isValidUtf8(std::string_view text) {
    const auto *bytes = reinterpret_cast<const uint8_t *>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    for (int32_t i = 0; i < length;) {
        UChar32 c = 0;
        U8_NEXT(bytes, i, length, c);
        if (c < 0)
            return false;
    }
    return true;
}

icu::StringPiece piece(std::string_view text) {
    const auto length = std::min<std::size_t>(text.size(), INT32_MAX);
    return {text.data(), static_cast<int32_t>(length)};
}

// The locale whose collation orders lists: LC_ALL, LC_COLLATE, LANG, as "sv_SE". The C locale
// takes the root collation rather than en_US_POSIX, which orders by ASCII code and so would put
// "B" before "a".
std::string collationLocaleName() {
    std::string_view name;
    for (const char *variable : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const char *value = std::getenv(variable);
        if (value && *value) {
            name = value;
            break;
        }
    }
    name = name.substr(0, name.find_first_of(".@"));
    if (name == "C" || name == "POSIX")
        return {};
    return std::string(name);
}

} // namespace

std::string shelfNameKey(std::string_view fileName) {
    if (isAscii(fileName) || fileName.size() > INT32_MAX || !isValidUtf8(fileName))
        return std::string(fileName);
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2 *nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status))
        return std::string(fileName);
    std::string key;
    icu::StringByteSink<std::string> sink(&key, static_cast<int32_t>(fileName.size()));
    nfc->normalizeUTF8(0, piece(fileName), sink, nullptr, status);
    if (U_FAILURE(status))
        return std::string(fileName);
    return key;
}

struct LocalizedStandardCompare::Collator {
    std::unique_ptr<icu::Collator> icu;
};

LocalizedStandardCompare::LocalizedStandardCompare()
    : LocalizedStandardCompare(collationLocaleName()) {
}

LocalizedStandardCompare::LocalizedStandardCompare(const std::string &localeName)
    : m_collator(std::make_unique<Collator>()) {
    // ICU falls back to the root collation for a locale it does not know.
    UErrorCode status = U_ZERO_ERROR;
    m_collator->icu.reset(icu::Collator::createInstance(icu::Locale(localeName.c_str()), status));
    if (U_FAILURE(status)) {
        status = U_ZERO_ERROR;
        m_collator->icu.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
    }
    if (U_FAILURE(status) || !m_collator->icu) {
        m_collator->icu.reset();
        return;
    }
    m_collator->icu->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
    m_collator->icu->setStrength(icu::Collator::SECONDARY);
}

LocalizedStandardCompare::~LocalizedStandardCompare() = default;

int LocalizedStandardCompare::compare(std::string_view a, std::string_view b) const {
    if (m_collator->icu) {
        UErrorCode status = U_ZERO_ERROR;
        const UCollationResult result = m_collator->icu->compareUTF8(piece(a), piece(b), status);
        if (U_SUCCESS(status))
            return result;
    }
    // Without collation data, the bytes are all there is to go by.
    const int bytes = a.compare(b);
    return (bytes > 0) - (bytes < 0);
}

namespace {

// A path's components without empty or "." ones, so that "/a//b/./c/" reads as "/a/b/c".
// ".." stays: behind a symbolic link it does not mean the folder written before it.
std::vector<std::filesystem::path> meaningfulComponents(const std::filesystem::path &path) {
    std::vector<std::filesystem::path> components;
    for (const auto &component : path) {
        if (component.empty() || component == ".")
            continue;
        components.push_back(component);
    }
    return components;
}

} // namespace

std::string LocalizedStandardCompare::sortKey(std::string_view text) const {
    if (m_collator->icu && text.size() <= INT32_MAX) {
        const icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(piece(text));
        std::string key(text.size() * 2 + 16, '\0');
        for (int attempt = 0; attempt < 2; ++attempt) {
            const int32_t size = m_collator->icu->getSortKey(
                unicode, reinterpret_cast<uint8_t *>(key.data()), static_cast<int32_t>(key.size()));
            if (size <= 0)
                break;
            if (static_cast<size_t>(size) <= key.size()) {
                // The key ends in a NUL byte of its own.
                key.resize(static_cast<size_t>(size) - 1);
                return key;
            }
            key.assign(static_cast<size_t>(size), '\0');
        }
    }
    return std::string(text);
}

std::vector<FolderGroup> folderGroups(const std::vector<std::filesystem::path> &files) {
    struct Entry {
        std::string key;
        const std::filesystem::path *file;
    };
    struct Group {
        std::string folder;
        std::string key;
        std::vector<Entry> entries;
    };
    const LocalizedStandardCompare compare;
    std::vector<Group> groups;
    std::unordered_map<std::string, std::size_t> groupOfFolder;
    for (const auto &file : files) {
        const std::string &text = file.native();
        std::string folder;
        std::string_view name;
        std::string spelledOut;
        // Most paths are absolute and plain: cut at the last slash rather than walking them.
        const bool plain = text.size() > 1 && text.front() == '/' && text.back() != '/' &&
                           text.find("//") == std::string::npos &&
                           text.find("/./") == std::string::npos && !text.ends_with("/.");
        if (plain) {
            const size_t slash = text.rfind('/');
            folder = slash == 0 ? "/" : text.substr(0, slash);
            name = std::string_view(text).substr(slash + 1);
        } else {
            auto components = meaningfulComponents(file);
            if (!components.empty()) {
                spelledOut = components.back().native();
                components.pop_back();
            }
            std::filesystem::path joined;
            for (const auto &component : components)
                joined /= component;
            folder = joined.native();
            name = spelledOut;
        }
        auto [found, inserted] = groupOfFolder.try_emplace(folder, groups.size());
        if (inserted)
            groups.push_back({std::move(folder), {}, {}});
        groups[found->second].entries.push_back({compare.sortKey(name), &file});
    }

    // Sort keys once per name rather than a collation per comparison.
    for (auto &group : groups)
        group.key = compare.sortKey(group.folder);
    std::stable_sort(groups.begin(), groups.end(),
                     [](const Group &a, const Group &b) { return a.key < b.key; });
    std::vector<FolderGroup> result;
    result.reserve(groups.size());
    for (auto &group : groups) {
        std::stable_sort(group.entries.begin(), group.entries.end(),
                         [](const Entry &a, const Entry &b) { return a.key < b.key; });
        FolderGroup &out = result.emplace_back();
        out.folder = std::move(group.folder);
        out.files.reserve(group.entries.size());
        for (const auto &entry : group.entries)
            out.files.push_back(*entry.file);
    }
    return result;
}

namespace {

class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : m_fd(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    UniqueFd &operator=(UniqueFd &&other) noexcept {
        if (this != &other) {
            reset();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;

    int get() const { return m_fd; }
    void reset() {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};

std::int64_t blockBytes(const struct stat &status) {
    return static_cast<std::int64_t>(status.st_blocks) * 512;
}

bool sameFile(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Adds up the blocks below a folder. Only the folder being read is kept open: the walk returns
// to a parent through "..", checking it is still the folder it came from, so that neither the
// depth of the tree nor the limit on open files stops it.
class SizeWalk {
public:
    explicit SizeWalk(const std::function<bool()> &cancelled) : m_cancelled(cancelled) {}

    std::int64_t total = 0;
    bool stopped = false;

    void walk(UniqueFd top) {
        struct stat topStatus {};
        if (::fstat(top.get(), &topStatus) != 0 || !S_ISDIR(topStatus.st_mode))
            return;
        UniqueFd current = std::move(top);
        m_levels.push_back({topStatus, read(current.get())});
        while (!m_levels.empty() && !stopped) {
            Level &level = m_levels.back();
            if (level.subfolders.empty()) {
                m_levels.pop_back();
                if (m_levels.empty())
                    return;
                UniqueFd parent(::openat(current.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
                struct stat parentStatus {};
                if (parent.get() < 0 || ::fstat(parent.get(), &parentStatus) != 0 ||
                    !sameFile(parentStatus, m_levels.back().status))
                    return; // the tree moved while it was walked
                current = std::move(parent);
                continue;
            }
            const Subfolder subfolder = std::move(level.subfolders.back());
            level.subfolders.pop_back();
            UniqueFd child(::openat(current.get(), subfolder.name.c_str(),
                                    O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            struct stat childStatus {};
            if (child.get() < 0 || ::fstat(child.get(), &childStatus) != 0 ||
                !sameFile(childStatus, subfolder.status))
                continue;
            auto subfolders = read(child.get());
            current = std::move(child);
            m_levels.push_back({childStatus, std::move(subfolders)});
        }
    }

private:
    struct Subfolder {
        std::string name;
        struct stat status;
    };
    struct Level {
        struct stat status;
        std::vector<Subfolder> subfolders;
    };

    // Counts the files of the folder open as `folder` and returns its subfolders.
    std::vector<Subfolder> read(int folder) {
        std::vector<Subfolder> subfolders;
        const int readFd = ::fcntl(folder, F_DUPFD_CLOEXEC, 0);
        if (readFd < 0)
            return subfolders;
        DIR *directory = ::fdopendir(readFd);
        if (!directory) {
            ::close(readFd);
            return subfolders;
        }
        try {
            for (;;) {
                errno = 0;
                const dirent *entry = ::readdir(directory);
                if (!entry)
                    break;
                const std::string_view name = entry->d_name;
                if (name == "." || name == "..")
                    continue;
                if (shouldStop())
                    break;
                struct stat status {};
                if (::fstatat(folder, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0)
                    continue;
                if (S_ISDIR(status.st_mode))
                    subfolders.push_back({std::string(name), status});
                else
                    count(status);
            }
        } catch (...) {
            ::closedir(directory);
            throw;
        }
        ::closedir(directory);
        return subfolders;
    }

    void count(const struct stat &status) {
        // A file with several names below the folder takes its space once.
        if (status.st_nlink > 1 && !m_linked.insert({status.st_dev, status.st_ino}).second)
            return;
        total += blockBytes(status);
    }

    // Asked every few thousand entries: a folder of a million files is stopped within
    // milliseconds, and the question costs nothing measurable.
    bool shouldStop() {
        if (stopped)
            return true;
        if (!m_cancelled || ++m_sinceAsked < 4096)
            return false;
        m_sinceAsked = 0;
        stopped = m_cancelled();
        return stopped;
    }

    const std::function<bool()> &m_cancelled;
    unsigned m_sinceAsked = 0;
    std::vector<Level> m_levels;
    std::set<std::pair<dev_t, ino_t>> m_linked;
};

} // namespace

std::int64_t allocatedSize(const std::filesystem::path &item) {
    return *allocatedSize(item, {});
}

std::optional<std::int64_t> allocatedSize(const std::filesystem::path &item,
                                          const std::function<bool()> &cancelled) {
    SizeWalk walk(cancelled);
    try {
        struct stat status {};
        if (::lstat(item.c_str(), &status) != 0)
            return 0;
        if (!S_ISDIR(status.st_mode))
            return blockBytes(status);
        UniqueFd top(::open(item.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (top.get() < 0)
            return 0;
        walk.walk(std::move(top));
    } catch (...) {
        // Out of memory: what was counted so far is the best answer there is.
    }
    if (walk.stopped)
        return std::nullopt;
    return walk.total;
}

} // namespace kelo
