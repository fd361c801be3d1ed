#include "ShelfOrder.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
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

std::vector<FolderGroup> folderGroups(const std::vector<std::filesystem::path> &files) {
    struct Entry {
        std::string name;
        std::filesystem::path file;
    };
    struct Group {
        std::filesystem::path folder;
        std::vector<Entry> entries;
    };
    std::vector<Group> groups;
    std::unordered_map<std::string, std::size_t> groupOfFolder;
    for (const auto &file : files) {
        auto components = meaningfulComponents(file);
        std::string name;
        if (!components.empty()) {
            name = components.back().native();
            components.pop_back();
        }
        std::filesystem::path folder;
        for (const auto &component : components)
            folder /= component;
        const auto [found, inserted] = groupOfFolder.try_emplace(folder.native(), groups.size());
        if (inserted)
            groups.push_back({folder, {}});
        groups[found->second].entries.push_back({std::move(name), file});
    }

    const LocalizedStandardCompare compare;
    std::stable_sort(groups.begin(), groups.end(), [&](const Group &a, const Group &b) {
        return compare.compare(a.folder.native(), b.folder.native()) < 0;
    });
    std::vector<FolderGroup> result;
    result.reserve(groups.size());
    for (auto &group : groups) {
        std::stable_sort(
            group.entries.begin(), group.entries.end(),
            [&](const Entry &a, const Entry &b) { return compare.compare(a.name, b.name) < 0; });
        FolderGroup &out = result.emplace_back();
        out.folder = std::move(group.folder);
        out.files.reserve(group.entries.size());
        for (auto &entry : group.entries)
            out.files.push_back(std::move(entry.file));
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
    std::int64_t total = 0;

    void walk(UniqueFd top) {
        struct stat topStatus {};
        if (::fstat(top.get(), &topStatus) != 0 || !S_ISDIR(topStatus.st_mode))
            return;
        UniqueFd current = std::move(top);
        m_levels.push_back({topStatus, read(current.get())});
        while (!m_levels.empty()) {
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

    std::vector<Level> m_levels;
    std::set<std::pair<dev_t, ino_t>> m_linked;
};

} // namespace

std::int64_t allocatedSize(const std::filesystem::path &item) {
    SizeWalk walk;
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
    return walk.total;
}

} // namespace kelo
