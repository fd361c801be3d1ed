#include "IndexCache.h"

#include "Checksum.h"
#include "FileDescriptor.h"
#include "Files.h"
#include "UserFolders.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelo {
namespace {

namespace fs = std::filesystem;

// The file: this header line, the scope signature and a line, the number of paths in decimal
// and a line, each path followed by a NUL byte, then the FNV-1a 64 checksum of all of that in
// 16 lowercase hex digits and a line. Paths may hold any byte but NUL.
constexpr std::string_view header = "kelo-tag-index 1\n";
constexpr size_t checksumSize = 16;
constexpr size_t trailerSize = checksumSize + 1;
constexpr size_t maximumFileSize = 64 * 1024 * 1024;
// Reading and checking look at the stop request after this many bytes or paths.
constexpr size_t stopCheckInterval = 64 * 1024;

std::string checksum(std::string_view bytes) {
    return hexDigits(fnv1a(bytes));
}

// The checksum, or none once stopping.
std::optional<std::string> checksum(std::string_view bytes, const std::atomic<bool> &stopping) {
    std::uint64_t hash = fnv1aStart;
    for (size_t at = 0; at < bytes.size(); at += stopCheckInterval) {
        if (stopping)
            return std::nullopt;
        hash = fnv1a(bytes.substr(at, stopCheckInterval), hash);
    }
    return hexDigits(hash);
}

// The whole file when it is a regular file of at most the maximum size; none once stopping.
std::optional<std::string> readCacheFile(const fs::path &file, const std::atomic<bool> &stopping) {
    // O_NONBLOCK: a FIFO put in the cache's place must not hang the start.
    const FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd)
        return std::nullopt;
    std::optional<std::string> content;
    struct stat info {};
    if (::fstat(fd.get(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= 0 &&
        static_cast<std::uint64_t>(info.st_size) <= maximumFileSize) {
        std::string bytes;
        bytes.reserve(static_cast<size_t>(info.st_size));
        char buffer[stopCheckInterval];
        while (!stopping) {
            const ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
            if (count < 0 && errno == EINTR)
                continue;
            if (count < 0)
                break;
            if (count == 0) {
                content = std::move(bytes);
                break;
            }
            bytes.append(buffer, static_cast<size_t>(count));
            // It may have grown since fstat.
            if (bytes.size() > maximumFileSize)
                break;
        }
    }
    return content;
}

// Takes the text up to the next newline off `rest`.
std::optional<std::string_view> takeLine(std::string_view &rest) {
    const size_t end = rest.find('\n');
    if (end == std::string_view::npos)
        return std::nullopt;
    const std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end + 1);
    return line;
}

// A decimal number written as the cache writes it: no sign, no leading zero.
template <typename Number> bool readNumber(std::string_view text, Number &number) {
    if (text.empty() || (text.size() > 1 && text.front() == '0'))
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return error == std::errc() && end == text.data() + text.size();
}

// What comes before the checksum line, when the checksum matches it; none once stopping.
std::optional<std::string_view> sealedBody(std::string_view content,
                                           const std::atomic<bool> &stopping) {
    if (content.size() < trailerSize)
        return std::nullopt;
    const std::string_view body = content.substr(0, content.size() - trailerSize);
    const std::string_view trailer = content.substr(body.size());
    const auto sum = checksum(body, stopping);
    if (!sum || trailer.substr(0, checksumSize) != *sum || trailer.back() != '\n')
        return std::nullopt;
    return body;
}

// The paths of a sealed cache for this scope, each followed by its NUL, once every one is checked
// (without a copy of any); none when the cache is damaged or for another scope, or once stopping.
std::optional<std::string_view> checkedPaths(std::string_view content,
                                             const std::string &scopeSignature,
                                             const std::atomic<bool> &stopping) {
    const auto body = sealedBody(content, stopping);
    if (!body)
        return std::nullopt;
    std::string_view rest = *body;
    if (!rest.starts_with(header))
        return std::nullopt;
    rest.remove_prefix(header.size());
    const auto signature = takeLine(rest);
    if (!signature || *signature != scopeSignature)
        return std::nullopt;
    const auto countText = takeLine(rest);
    std::uint64_t count = 0;
    if (!countText || !readNumber(*countText, count))
        return std::nullopt;
    // Each path takes at least two bytes ("/" and its NUL).
    if (count > maximumIndexCacheEntries || count > rest.size() / 2)
        return std::nullopt;

    const std::string_view paths = rest;
    for (std::uint64_t i = 0; i < count; ++i) {
        if (i % stopCheckInterval == 0 && stopping)
            return std::nullopt;
        const size_t nul = rest.find('\0');
        if (nul == std::string_view::npos || nul == 0 || rest.front() != '/')
            return std::nullopt;
        rest.remove_prefix(nul + 1);
    }
    if (!rest.empty())
        return std::nullopt;
    return paths;
}

// The file's content, or none when these paths could not be loaded back as they are.
std::optional<std::string> serialised(const std::string &scopeSignature,
                                      const std::vector<std::string> &paths) {
    if (scopeSignature.find_first_of(std::string_view("\n\0", 2)) != std::string::npos)
        return std::nullopt;
    std::string content(header);
    content += scopeSignature;
    content += '\n';
    if (paths.size() > maximumIndexCacheEntries)
        return std::nullopt;
    content += std::to_string(paths.size());
    content += '\n';
    for (const std::string &bytes : paths) {
        if (!bytes.starts_with('/') || bytes.find('\0') != std::string::npos)
            return std::nullopt;
        if (content.size() + bytes.size() + 1 + trailerSize > maximumFileSize)
            return std::nullopt;
        content += bytes;
        content += '\0';
    }
    content += checksum(content);
    content += '\n';
    return content;
}

// Writes a temporary file in the same folder and renames it over `file`.
bool writeAtomically(const fs::path &file, std::string_view content) {
    const fs::path folder = file.parent_path();
    // Each new folder private to the user.
    if (!folder.empty() && makeFolders(folder, 0700) != 0)
        return false;
    // A name of its own each time: a temporary file left by a process that died does not block
    // every later save.
    std::string temporary = file.native() + ".tmp-XXXXXX";
    FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd)
        return false;
    bool written = writeAll(fd.get(), content);
    written = ::close(fd.release()) == 0 && written;
    if (written && ::rename(temporary.c_str(), file.c_str()) == 0)
        return true;
    ::unlink(temporary.c_str());
    return false;
}

// The records file: this header line, the time of writing in seconds since 1970 and a line,
// the number of records and a line, each record as its path and a NUL byte, then "device inode
// stamp-length tags-length" and a line, then the stamp's and the tags' bytes; then the checksum
// as in the cache.
constexpr std::string_view recordsHeader = "kelo-stamp-records 1\n";

// Takes the text up to the next space (or the end) off `rest`.
std::string_view takeWord(std::string_view &rest) {
    const size_t end = std::min(rest.find(' '), rest.size());
    const std::string_view word = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    return word;
}

std::optional<StampRecords> parsedRecords(std::string_view content) {
    const std::atomic<bool> never = false;
    const auto body = sealedBody(content, never);
    if (!body)
        return std::nullopt;
    std::string_view rest = *body;
    if (!rest.starts_with(recordsHeader))
        return std::nullopt;
    rest.remove_prefix(recordsHeader.size());
    const auto timeText = takeLine(rest);
    const auto countText = takeLine(rest);
    long long seconds = 0;
    std::uint64_t count = 0;
    if (!timeText || !countText || !readNumber(*timeText, seconds) ||
        !readNumber(*countText, count) || count > maximumIndexCacheEntries)
        return std::nullopt;
    StampRecords records;
    records.written = std::chrono::system_clock::time_point(std::chrono::seconds(seconds));
    for (std::uint64_t i = 0; i < count; ++i) {
        const size_t nul = rest.find('\0');
        if (nul == std::string_view::npos || nul == 0 || rest.front() != '/')
            return std::nullopt;
        std::string path(rest.substr(0, nul));
        rest.remove_prefix(nul + 1);
        auto line = takeLine(rest);
        if (!line)
            return std::nullopt;
        StampRecord record;
        size_t stampSize = 0, tagsSize = 0;
        if (!readNumber(takeWord(*line), record.device) ||
            !readNumber(takeWord(*line), record.inode) || !readNumber(takeWord(*line), stampSize) ||
            !readNumber(*line, tagsSize) || stampSize == 0 || stampSize + tagsSize > rest.size())
            return std::nullopt;
        record.stamp = rest.substr(0, stampSize);
        record.tags = rest.substr(stampSize, tagsSize);
        rest.remove_prefix(stampSize + tagsSize);
        records.records.emplace(std::move(path), std::move(record));
    }
    if (!rest.empty())
        return std::nullopt;
    return records;
}

} // namespace

fs::path stampRecordsFile(const fs::path &cacheFile) {
    return cacheFile.empty() ? fs::path() : fs::path(cacheFile.native() + ".stamps");
}

std::optional<StampRecords> loadStampRecords(const fs::path &file) {
    try {
        const std::atomic<bool> never = false;
        const auto content = file.empty() ? std::nullopt : readCacheFile(file, never);
        return content ? parsedRecords(*content) : std::nullopt;
    } catch (...) {
        return std::nullopt;
    }
}

bool saveStampRecords(const fs::path &file,
                      const std::unordered_map<std::string, StampRecord> &records) {
    try {
        if (file.empty() || records.size() > maximumIndexCacheEntries)
            return false;
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                                 std::chrono::system_clock::now().time_since_epoch())
                                 .count();
        std::string content(recordsHeader);
        content += std::to_string(seconds) + '\n' + std::to_string(records.size()) + '\n';
        for (const auto &[path, record] : records) {
            if (!path.starts_with('/') || path.find('\0') != std::string::npos ||
                record.stamp.empty())
                return false;
            content += path;
            content += '\0';
            content += std::to_string(record.device) + ' ' + std::to_string(record.inode) + ' ' +
                       std::to_string(record.stamp.size()) + ' ' +
                       std::to_string(record.tags.size()) + '\n';
            content += record.stamp;
            content += record.tags;
            if (content.size() + trailerSize > maximumFileSize)
                return false;
        }
        content += checksum(content);
        content += '\n';
        return writeAtomically(file, content);
    } catch (...) {
        return false;
    }
}

fs::path defaultIndexCacheFile() {
    const fs::path folder = cacheHome();
    return folder.empty() ? fs::path() : folder / "kelo" / "tag-index";
}

bool visitIndexCache(const fs::path &file, const std::string &scopeSignature,
                     const std::function<void(std::string_view path)> &visit,
                     const std::atomic<bool> &stopping) {
    try {
        if (file.empty())
            return false;
        const auto content = readCacheFile(file, stopping);
        if (!content)
            return false;
        const auto paths = checkedPaths(*content, scopeSignature, stopping);
        if (!paths)
            return false;
        for (std::string_view rest = *paths; !rest.empty();) {
            if (stopping)
                return false;
            const size_t nul = rest.find('\0');
            visit(rest.substr(0, nul));
            rest.remove_prefix(nul + 1);
        }
        return true;
    } catch (...) {
        // Only allocation can fail here; a cache that does not fit is no cache.
        return false;
    }
}

std::optional<std::vector<std::string>> loadIndexCache(const fs::path &file,
                                                       const std::string &scopeSignature) {
    const std::atomic<bool> never = false;
    std::vector<std::string> paths;
    const auto keep = [&](std::string_view path) { paths.emplace_back(path); };
    if (!visitIndexCache(file, scopeSignature, keep, never))
        return std::nullopt;
    return paths;
}

bool saveIndexCache(const fs::path &file, const std::string &scopeSignature,
                    const std::vector<std::string> &paths) {
    try {
        if (file.empty() || !file.has_filename())
            return false;
        const auto content = serialised(scopeSignature, paths);
        if (!content)
            return false;
        return writeAtomically(file, *content);
    } catch (...) {
        return false;
    }
}

} // namespace kelo
