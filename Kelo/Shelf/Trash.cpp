#include "Trash.h"

#include "FileDescriptor.h"
#include "Files.h"
#include "MountInfo.h"
#include "UserFolders.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelo {

namespace fs = std::filesystem;

namespace {

constexpr mode_t privateFolderMode = 0700;
constexpr std::string_view infoSuffix = ".trashinfo";

// An error whose description says what was being done, then why it failed.
Error failure(int code, const std::string &what) {
    Error error = Error::fromErrno(code);
    error.description = what + ": " + error.description;
    return error;
}

Error failure(int code, const std::string &what, const std::string &why) {
    Error error = Error::fromErrno(code);
    error.description = what + ": " + why;
    return error;
}

std::string quoted(const fs::path &path) {
    return "\"" + path.native() + "\"";
}

// The device holding `folder`, or that would hold it once created: its nearest existing ancestor's.
std::optional<dev_t> deviceOf(fs::path folder) {
    for (;;) {
        struct stat status {};
        if (::stat(folder.c_str(), &status) == 0)
            return status.st_dev;
        const fs::path parent = folder.parent_path();
        if (parent.empty() || parent == folder)
            return std::nullopt;
        folder = parent;
    }
}

// A folder of a Trash: created when missing, otherwise a real folder, not a link (through a link
// the file would land outside every Trash), and owned by `owner` when one is given (in a shared
// Trash).
std::optional<Error> makeTrashFolder(const fs::path &folder,
                                     std::optional<uid_t> owner = std::nullopt) {
    if (::mkdir(folder.c_str(), privateFolderMode) == 0) {
        ::chmod(folder.c_str(), privateFolderMode);
        return std::nullopt;
    }
    if (errno != EEXIST)
        return failure(errno, "cannot create the Trash folder " + quoted(folder));
    const std::string what = "cannot use " + quoted(folder) + " as a Trash folder";
    struct stat status {};
    if (::lstat(folder.c_str(), &status) != 0)
        return failure(errno, what);
    if (S_ISLNK(status.st_mode))
        return failure(ELOOP, what, "it is a symbolic link");
    if (!S_ISDIR(status.st_mode))
        return failure(ENOTDIR, what, "it is not a folder");
    if (owner && status.st_uid != *owner)
        return failure(EPERM, what, "it belongs to another user");
    return std::nullopt;
}

// The mount point under which `path` lives: the longest one that contains it. A later line wins a
// tie, as it is mounted over the earlier one.
std::optional<fs::path> mountPointOf(const std::string &path, std::string_view mountInfo) {
    std::optional<fs::path> best;
    for (auto &entry : parseMountInfo(mountInfo)) {
        const std::string &mountPoint = entry.mountPoint.native();
        if (isWithin(path, mountPoint) && (!best || mountPoint.size() >= best->native().size()))
            best = std::move(entry.mountPoint);
    }
    return best;
}

// The top folder of the file system that holds `folder` (a real path) on `device`.
std::optional<fs::path> topFolderOf(const fs::path &folder, dev_t device,
                                    const std::string &mountInfo) {
    if (const auto mountPoint = mountPointOf(folder.native(), mountInfo)) {
        struct stat status {};
        if (::stat(mountPoint->c_str(), &status) == 0 && status.st_dev == device)
            return mountPoint;
    }
    // Without a usable mount table, climb while the parent is on the same device.
    fs::path top = folder;
    for (;;) {
        const fs::path parent = top.parent_path();
        if (parent == top)
            return top;
        struct stat status {};
        if (::stat(parent.c_str(), &status) != 0 || status.st_dev != device)
            return top;
        top = parent;
    }
}

// The Trash of a file system other than the home's: the shared $topdir/.Trash/$uid when an
// administrator set up $topdir/.Trash as a sticky folder, otherwise $topdir/.Trash-$uid.
Expected<fs::path> topFolderTrash(const fs::path &topFolder, uid_t uid) {
    const fs::path shared = topFolder / ".Trash";
    struct stat status {};
    if (::lstat(shared.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
        (status.st_mode & S_ISVTX)) {
        const fs::path mine = shared / std::to_string(uid);
        if (!makeTrashFolder(mine, uid))
            return mine;
    }
    const fs::path own = topFolder / (".Trash-" + std::to_string(uid));
    if (auto error = makeTrashFolder(own, uid))
        return *error;
    return own;
}

// Each byte that is not an unreserved URI character or '/' becomes %XX.
std::string percentEncoded(std::string_view bytes) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                           (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' ||
                           byte == '_' || byte == '~' || byte == '/';
        if (plain) {
            encoded.push_back(c);
        } else {
            encoded.push_back('%');
            encoded.push_back(hex[byte >> 4]);
            encoded.push_back(hex[byte & 0xF]);
        }
    }
    return encoded;
}

std::string deletionDate() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return std::string(text, length);
}

// The name to try for the `number`th attempt: "name", then "stem.2.ext", "stem.3.ext", … kept
// short enough for its .trashinfo to be a valid file name.
std::string candidateName(const std::string &name, unsigned long number) {
    std::string stem = name;
    std::string extension;
    if (const std::size_t dot = name.rfind('.'); dot != std::string::npos && dot != 0) {
        stem = name.substr(0, dot);
        extension = name.substr(dot);
    }
    const std::string counter = number > 1 ? "." + std::to_string(number) : std::string();
    constexpr std::size_t limit = NAME_MAX - infoSuffix.size();
    if (stem.size() + counter.size() + extension.size() > limit) {
        if (extension.size() > limit / 4) {
            stem += extension;
            extension.clear();
        }
        std::size_t keep = limit - counter.size() - extension.size();
        // Cut between characters, not inside a UTF-8 sequence.
        while (keep > 1 && (static_cast<unsigned char>(stem[keep]) & 0xC0) == 0x80)
            --keep;
        stem.resize(keep);
    }
    return stem + counter + extension;
}

// Moves without replacing: another program may have put something at `to` since we looked.
int renameWithoutReplacing(const fs::path &from, const fs::path &to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // The file system cannot refuse to replace; we checked that `to` was free.
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// The item as a real folder path plus its own name, which is not resolved: a link is trashed as
// the link.
Expected<fs::path> resolvedItem(const fs::path &item) {
    std::string text = item.native();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    const fs::path trimmed(text);
    const fs::path name = trimmed.filename();
    const std::string what = "cannot move " + quoted(item) + " to the Trash";
    if (name.empty() || name == "." || name == "..")
        return failure(EINVAL, what, "it is not the name of a file or folder");
    fs::path folder = trimmed.parent_path();
    if (folder.empty())
        folder = ".";
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(folder.c_str(), nullptr),
                                                           &std::free);
    if (!real)
        return failure(errno, what);
    return fs::path(real.get()) / name;
}

} // namespace

TrashEnvironment currentTrashEnvironment() {
    TrashEnvironment environment;
    environment.dataHome = dataHome();
    environment.uid = ::getuid();
    environment.mountInfo = readMountInfo();
    return environment;
}

Expected<fs::path> moveToTrash(const fs::path &item, const TrashEnvironment &environment) {
    const auto resolved = resolvedItem(item);
    if (!resolved)
        return resolved.error();
    const fs::path &path = *resolved;
    const std::string what = "cannot move " + quoted(item) + " to the Trash";

    struct stat itemStatus {};
    if (::lstat(path.c_str(), &itemStatus) != 0)
        return failure(errno, what);

    // The home Trash serves the file system that holds the data folder. A fresh account may not
    // have one yet: create it rather than guess.
    fs::path trash;
    std::string recordedPath;
    const bool hasHome = environment.dataHome.is_absolute();
    const int madeDataHome =
        hasHome ? makeFolders(environment.dataHome, privateFolderMode) : ENOENT;
    const auto homeDevice = hasHome ? deviceOf(environment.dataHome) : std::nullopt;
    if (homeDevice && *homeDevice == itemStatus.st_dev) {
        if (madeDataHome)
            return failure(madeDataHome, "cannot create the folder " +
                                             quoted(environment.dataHome) + " for the Trash");
        trash = environment.dataHome / "Trash";
        if (auto error = makeTrashFolder(trash))
            return *error;
        recordedPath = path.native();
    } else {
        const fs::path folder = path.parent_path();
        struct stat folderStatus {};
        if (::stat(folder.c_str(), &folderStatus) != 0)
            return failure(errno, what);
        if (folderStatus.st_dev != itemStatus.st_dev)
            return failure(EBUSY, what, "a file system is mounted there");
        const auto top = topFolderOf(folder, itemStatus.st_dev, environment.mountInfo);
        if (!top)
            return failure(ENOENT, what, "cannot find the top folder of its file system");
        auto topTrash = topFolderTrash(*top, environment.uid);
        if (!topTrash)
            return topTrash.error();
        trash = std::move(topTrash).value();
        recordedPath = path.lexically_relative(*top).native();
    }

    const fs::path filesFolder = trash / "files";
    const fs::path infoFolder = trash / "info";
    for (const auto &folder : {filesFolder, infoFolder}) {
        if (auto error = makeTrashFolder(folder))
            return *error;
    }

    const std::string info = "[Trash Info]\nPath=" + percentEncoded(recordedPath) +
                             "\nDeletionDate=" + deletionDate() + "\n";
    const std::string name = path.filename().native();
    for (unsigned long number = 1;; ++number) {
        const std::string candidate = candidateName(name, number);
        const fs::path target = filesFolder / candidate;
        struct stat existing {};
        if (::lstat(target.c_str(), &existing) == 0)
            continue;
        if (errno != ENOENT)
            return failure(errno, "cannot look into the Trash folder " + quoted(filesFolder));

        // Creating the .trashinfo claims the name against other programs trashing at once.
        const fs::path infoFile = infoFolder / (candidate + std::string(infoSuffix));
        FileDescriptor fd(::open(infoFile.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600));
        if (!fd) {
            if (errno == EEXIST)
                continue;
            return failure(errno, "cannot write " + quoted(infoFile));
        }
        const bool written = writeAll(fd.get(), info);
        const int writeError = errno;
        if (::close(fd.release()) != 0 || !written) {
            const int error = written ? errno : writeError;
            ::unlink(infoFile.c_str());
            return failure(error, "cannot write " + quoted(infoFile));
        }

        const int moved = renameWithoutReplacing(path, target);
        if (moved == 0)
            return target;
        ::unlink(infoFile.c_str());
        if (moved != EEXIST)
            return failure(moved, what);
    }
}

} // namespace kelo
