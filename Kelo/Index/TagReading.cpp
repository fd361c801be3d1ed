#include "TagReading.h"

#include "FileDescriptor.h"
#include "TagList.h"

#include <cerrno>
#include <climits>

#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace kelo {
namespace {

// Reads the tag list through `read(buffer, size)`; most lists fit the first buffer.
template <typename Read> bool hasTag(Read read, std::string_view tag) {
    char buffer[256];
    ssize_t size = read(buffer, sizeof buffer);
    if (size >= 0)
        return tagListContains(std::string_view(buffer, static_cast<size_t>(size)), tag);
    for (int attempt = 0; attempt < 3 && errno == ERANGE; ++attempt) {
        size = read(nullptr, 0);
        if (size < 0)
            return false;
        std::string value(static_cast<size_t>(size), '\0');
        size = read(value.data(), value.size());
        if (size >= 0)
            return tagListContains(std::string_view(value.data(), static_cast<size_t>(size)), tag);
    }
    return false;
}

} // namespace

bool TagProbe::nameHasTag(const char *name) {
    // Every file counts towards the choice. While values are read directly, one file in 16 is
    // still asked for its list, to notice when most files carry no attributes again.
    if (m_listFirst || m_files++ % 16 == 0) {
        const ssize_t names = ::llistxattr(name, nullptr, 0);
        if (names > 0)
            ++m_withAttributes;
        // Every 256 files asked, see whether asking twice has become the common case.
        if (++m_seen == 256) {
            m_listFirst = m_withAttributes < m_seen / 2;
            m_seen = m_withAttributes = 0;
        }
        if (names <= 0)
            return false;
    }
    return hasTag([&](void *value,
                      size_t size) { return ::lgetxattr(name, tagListAttributeName, value, size); },
                  m_tag);
}

bool TagProbe::folderHasTag(int folder) const {
    if (m_listFirst && ::flistxattr(folder, nullptr, 0) <= 0)
        return false;
    return hasTag(
        [&](void *value, size_t size) {
            return ::fgetxattr(folder, tagListAttributeName, value, size);
        },
        m_tag);
}

int openFolder(const std::string &path) {
    constexpr int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    if (path.size() < PATH_MAX)
        return ::open(path.c_str(), flags);
    // Too long for one call: open it a component at a time from the root.
    FileDescriptor folder(::open("/", flags));
    size_t start = 1;
    while (folder && start < path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        if (end > start) {
            const std::string component = path.substr(start, end - start);
            folder = FileDescriptor(::openat(folder.get(), component.c_str(), flags));
        }
        start = end + 1;
    }
    return folder.release();
}

bool pathHasTag(const std::string &path, std::string_view tag) {
    if (path.size() < PATH_MAX)
        return hasTag(
            [&](void *value, size_t size) {
                return ::lgetxattr(path.c_str(), tagListAttributeName, value, size);
            },
            tag);
    const size_t slash = path.rfind('/');
    const FileDescriptor folder(openFolder(path.substr(0, slash)));
    if (!folder)
        return false;
    // The same name through the open folder: a short path.
    return pathHasTag(
        "/proc/self/fd/" + std::to_string(folder.get()) + "/" + path.substr(slash + 1), tag);
}

} // namespace kelo
