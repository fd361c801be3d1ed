#include "Files.h"

#include <cerrno>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace kelo {
namespace {

namespace fs = std::filesystem;

// Creates a folder when missing, and makes sure an existing one is a folder. Returns 0 or an
// errno value: ENOENT when its parent is missing.
int makeFolder(const fs::path &folder, mode_t mode) {
    if (::mkdir(folder.c_str(), mode) == 0) {
        ::chmod(folder.c_str(), mode);
        return 0;
    }
    if (errno != EEXIST)
        return errno;
    struct stat status {};
    if (::stat(folder.c_str(), &status) != 0)
        return errno;
    return S_ISDIR(status.st_mode) ? 0 : ENOTDIR;
}

} // namespace

bool isWithin(std::string_view path, std::string_view folder) {
    if (folder == "/")
        return path.starts_with('/');
    return path.starts_with(folder) && (path.size() == folder.size() || path[folder.size()] == '/');
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

int makeFolders(const fs::path &folder, mode_t mode) {
    // Up to the nearest folder that is there, then down again making the missing ones.
    std::vector<fs::path> missing;
    for (fs::path at = folder;;) {
        const int made = makeFolder(at, mode);
        if (made != ENOENT) {
            if (made != 0)
                return made;
            break;
        }
        fs::path parent = at.parent_path();
        if (parent.empty() || parent == at)
            return made;
        missing.push_back(std::move(at));
        at = std::move(parent);
    }
    for (auto at = missing.rbegin(); at != missing.rend(); ++at) {
        if (const int made = makeFolder(*at, mode))
            return made;
    }
    return 0;
}

} // namespace kelo
