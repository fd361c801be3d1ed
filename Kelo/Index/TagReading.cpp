#include "TagReading.h"

#include "TagList.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include <fcntl.h>
#include <linux/types.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace kelo {
namespace {

constexpr long getxattratSyscall = 464; // x86-64, Linux 6.13; glibc has no wrapper yet

struct XattrArgs {
    __u64 value;
    __u32 size;
    __u32 flags;
};

long getxattrAt(int folder, const char *name, void *value, size_t size) {
    XattrArgs args{reinterpret_cast<std::uintptr_t>(value), static_cast<__u32>(size), 0};
    return ::syscall(getxattratSyscall, folder, name, AT_SYMLINK_NOFOLLOW, tagListAttributeName,
                     &args, sizeof args);
}

// Reads the tag list through `read(buffer, size)`; most files have none, and most lists fit
// the first buffer.
template <typename Read> bool hasTag(Read read, std::string_view tag) {
    char buffer[256];
    long size = read(buffer, sizeof buffer);
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

bool haveGetxattrAt() {
    static const bool have = [] {
        const long result = getxattrAt(AT_FDCWD, "/", nullptr, 0);
        return result >= 0 || errno != ENOSYS;
    }();
    return have;
}

bool nameHasTag(int folder, const char *name, std::string_view tag) {
    if (haveGetxattrAt())
        return hasTag(
            [&](void *value, size_t size) { return getxattrAt(folder, name, value, size); }, tag);
    return hasTag([&](void *value,
                      size_t size) { return ::lgetxattr(name, tagListAttributeName, value, size); },
                  tag);
}

bool folderHasTag(int folder, std::string_view tag) {
    return hasTag(
        [&](void *value, size_t size) {
            return ::fgetxattr(folder, tagListAttributeName, value, size);
        },
        tag);
}

int openFolder(const std::string &path) {
    constexpr int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    if (path.size() < PATH_MAX)
        return ::open(path.c_str(), flags);
    // Too long for one call: open it a component at a time from the root.
    int folder = ::open("/", flags);
    size_t start = 1;
    while (folder >= 0 && start < path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        if (end > start) {
            const std::string component = path.substr(start, end - start);
            const int next = ::openat(folder, component.c_str(), flags);
            ::close(folder);
            folder = next;
        }
        start = end + 1;
    }
    return folder;
}

bool pathHasTag(const std::string &path, std::string_view tag) {
    if (path.size() < PATH_MAX)
        return hasTag(
            [&](void *value, size_t size) {
                return ::lgetxattr(path.c_str(), tagListAttributeName, value, size);
            },
            tag);
    const size_t slash = path.rfind('/');
    const int folder = openFolder(path.substr(0, slash));
    if (folder < 0)
        return false;
    const std::string name = path.substr(slash + 1);
    bool tagged = false;
    if (haveGetxattrAt()) {
        tagged = nameHasTag(folder, name.c_str(), tag);
    } else {
        // A short path to the same name through the open folder.
        const std::string viaFd = "/proc/self/fd/" + std::to_string(folder) + "/" + name;
        tagged = pathHasTag(viaFd, tag);
    }
    ::close(folder);
    return tagged;
}

} // namespace kelo
