#include "MountInfo.h"

#include "FileDescriptor.h"

#include <algorithm>
#include <array>
#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace kelo {
namespace {

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (size_t end; (end = text.find(separator, start)) != std::string_view::npos; start = end + 1)
        parts.push_back(text.substr(start, end - start));
    parts.push_back(text.substr(start));
    return parts;
}

bool isDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool isOctalDigit(char c) {
    return c >= '0' && c <= '7';
}

std::string unescaped(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        // \400 and above are no byte: kept as text, never cut down to one (a NUL, for \400).
        if (field[i] == '\\' && field.size() - i >= 4 && field[i + 1] >= '0' &&
            field[i + 1] <= '3' && isOctalDigit(field[i + 2]) && isOctalDigit(field[i + 3])) {
            const int value =
                (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
            out.push_back(static_cast<char>(static_cast<unsigned char>(value)));
            i += 3;
        } else {
            out.push_back(field[i]);
        }
    }
    return out;
}

} // namespace

std::vector<MountEntry> parseMountInfo(std::string_view text) {
    std::vector<MountEntry> entries;
    for (const std::string_view line : split(text, '\n')) {
        // id parent major:minor root mount-point options [optional...] - type source super-options
        const std::vector<std::string_view> fields = split(line, ' ');
        if (fields.size() < 10 || !isDigits(fields[0]) || !isDigits(fields[1]))
            continue;
        const size_t colon = fields[2].find(':');
        if (colon == std::string_view::npos || !isDigits(fields[2].substr(0, colon)) ||
            !isDigits(fields[2].substr(colon + 1)))
            continue;
        const auto separator = std::find(fields.begin() + 6, fields.end(), "-");
        if (fields.end() - separator < 4)
            continue;
        MountEntry entry;
        entry.device = std::string(fields[2]);
        entry.root = unescaped(fields[3]);
        entry.mountPoint = unescaped(fields[4]);
        entry.fileSystemType = unescaped(separator[1]);
        if (!entry.root.native().starts_with('/') || !entry.mountPoint.native().starts_with('/') ||
            entry.fileSystemType.empty())
            continue;
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::string readMountInfo() {
    std::string text;
    const FileDescriptor fd(::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC));
    if (!fd)
        return text;
    std::array<char, 8192> buffer;
    for (;;) {
        const ssize_t count = ::read(fd.get(), buffer.data(), buffer.size());
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        text.append(buffer.data(), static_cast<size_t>(count));
    }
    return text;
}

} // namespace kelo
