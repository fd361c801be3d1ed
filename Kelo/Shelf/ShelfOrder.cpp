#include "ShelfOrder.h"

#include "FileDescriptor.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <deque>
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
    std::string key;
    appendSortKey(text, key);
    return key;
}

std::size_t LocalizedStandardCompare::appendSortKey(std::string_view text,
                                                    std::string &keys) const {
    const std::size_t start = keys.size();
    if (m_collator->icu && text.size() <= INT32_MAX) {
        const icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(piece(text));
        std::size_t room = text.size() * 2 + 16;
        for (int attempt = 0; attempt < 2; ++attempt) {
            keys.resize(start + room);
            const int32_t size = m_collator->icu->getSortKey(
                unicode, reinterpret_cast<uint8_t *>(keys.data() + start),
                static_cast<int32_t>(std::min<std::size_t>(room, INT32_MAX)));
            if (size <= 0)
                break;
            if (static_cast<std::size_t>(size) <= room) {
                // The key ends in a NUL byte of its own.
                keys.resize(start + static_cast<std::size_t>(size) - 1);
                return keys.size() - start;
            }
            room = static_cast<std::size_t>(size);
        }
        keys.resize(start);
    }
    keys.append(text);
    return text.size();
}

std::vector<FolderGroup> folderGroups(const std::vector<std::filesystem::path> &files) {
    std::vector<std::string> texts(files.begin(), files.end());
    std::vector<const std::string *> pointers;
    pointers.reserve(texts.size());
    for (const auto &text : texts)
        pointers.push_back(&text);
    const FolderOrder order = *folderOrder(pointers, {});
    std::vector<FolderGroup> groups(order.folders.size());
    for (std::size_t g = 0; g < groups.size(); ++g) {
        groups[g].folder = order.folders[g];
        const std::size_t end = g + 1 < groups.size() ? order.firstFile[g + 1] : order.files.size();
        for (std::size_t i = order.firstFile[g]; i < end; ++i)
            groups[g].files.push_back(files[order.files[i]]);
    }
    return groups;
}

std::optional<FolderOrder> folderOrder(std::span<const std::string *const> files,
                                       const std::function<bool()> &cancelled) {
    // Few allocations per file, for lists of a hundred thousand: the folder is looked up as a
    // part of the path, and the sort keys of all names share one string.
    struct Entry {
        std::size_t keyStart;
        std::size_t keyLength;
        std::size_t file;
    };
    struct Group {
        std::string_view folder;
        std::string key;
        std::vector<Entry> entries;
    };
    // Asked every so many files: a collation key takes about a microsecond.
    constexpr std::size_t askEvery = 1024;
    const LocalizedStandardCompare compare;
    std::vector<Group> groups;
    std::unordered_map<std::string_view, std::size_t> groupOfFolder;
    // Folders and names as spelled out from paths that are not plain; never moved once made.
    std::deque<std::string> spelledOut;
    std::string keys;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (cancelled && i % askEvery == askEvery - 1 && cancelled())
            return std::nullopt;
        const std::string &text = *files[i];
        std::string_view folder;
        std::string_view name;
        // Most paths are absolute and plain: cut at the last slash rather than walking them.
        const bool plain = text.size() > 1 && text.front() == '/' && text.back() != '/' &&
                           text.find("//") == std::string::npos &&
                           text.find("/./") == std::string::npos && !text.ends_with("/.");
        if (plain) {
            const size_t slash = text.rfind('/');
            folder = slash == 0 ? std::string_view("/") : std::string_view(text).substr(0, slash);
            name = std::string_view(text).substr(slash + 1);
        } else {
            auto components = meaningfulComponents(std::filesystem::path(*files[i]));
            if (!components.empty()) {
                name = spelledOut.emplace_back(components.back().native());
                components.pop_back();
            }
            std::filesystem::path joined;
            for (const auto &component : components)
                joined /= component;
            folder = spelledOut.emplace_back(joined.native());
        }
        auto [found, inserted] = groupOfFolder.try_emplace(folder, groups.size());
        if (inserted)
            groups.push_back({folder, {}, {}});
        const std::size_t keyStart = keys.size();
        const std::size_t keyLength = compare.appendSortKey(name, keys);
        groups[found->second].entries.push_back({keyStart, keyLength, i});
    }

    // Sort keys once per name rather than a collation per comparison.
    for (auto &group : groups)
        group.key = compare.sortKey(group.folder);
    std::stable_sort(groups.begin(), groups.end(),
                     [](const Group &a, const Group &b) { return a.key < b.key; });
    const std::string_view allKeys = keys;
    const auto key = [&](const Entry &entry) {
        return allKeys.substr(entry.keyStart, entry.keyLength);
    };
    FolderOrder order;
    order.folders.reserve(groups.size());
    order.firstFile.reserve(groups.size());
    order.files.reserve(files.size());
    for (auto &group : groups) {
        if (cancelled && cancelled())
            return std::nullopt;
        std::stable_sort(group.entries.begin(), group.entries.end(),
                         [&](const Entry &a, const Entry &b) { return key(a) < key(b); });
        order.folders.emplace_back(group.folder);
        order.firstFile.push_back(order.files.size());
        for (const auto &entry : group.entries)
            order.files.push_back(entry.file);
    }
    return order;
}

namespace {

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

    void walk(FileDescriptor top) {
        struct stat topStatus {};
        if (::fstat(top.get(), &topStatus) != 0 || !S_ISDIR(topStatus.st_mode))
            return;
        FileDescriptor current = std::move(top);
        m_levels.push_back({topStatus, read(current.get())});
        while (!m_levels.empty() && !stopped) {
            Level &level = m_levels.back();
            if (level.subfolders.empty()) {
                m_levels.pop_back();
                if (m_levels.empty())
                    return;
                FileDescriptor parent(
                    ::openat(current.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
                struct stat parentStatus {};
                if (!parent || ::fstat(parent.get(), &parentStatus) != 0 ||
                    !sameFile(parentStatus, m_levels.back().status))
                    return; // the tree moved while it was walked
                current = std::move(parent);
                continue;
            }
            const Subfolder subfolder = std::move(level.subfolders.back());
            level.subfolders.pop_back();
            FileDescriptor child(::openat(current.get(), subfolder.name.c_str(),
                                          O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            struct stat childStatus {};
            if (!child || ::fstat(child.get(), &childStatus) != 0 ||
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
        FileDescriptor readFd(::fcntl(folder, F_DUPFD_CLOEXEC, 0));
        if (!readFd)
            return subfolders;
        DIR *directory = ::fdopendir(readFd.get());
        if (!directory)
            return subfolders;
        // The listing owns it now.
        readFd.release();
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
        FileDescriptor top(::open(item.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!top)
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
