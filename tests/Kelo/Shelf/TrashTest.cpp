#include "Trash.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "ScopedEnvironment.h"
#include "Subprocess.h"
#include "TemporaryFolder.h"

namespace fs = std::filesystem;

namespace {

const char *const stampAttribute = "user.wex.dorvel.kelo.expires";

std::string readFile(const fs::path &file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> entriesOf(const fs::path &folder) {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().native());
    std::sort(names.begin(), names.end());
    return names;
}

mode_t permissionsOf(const fs::path &path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0)
        return 0;
    return status.st_mode & 07777;
}

kelo::TrashEnvironment environmentWith(const fs::path &dataHome) {
    auto environment = kelo::currentTrashEnvironment();
    environment.dataHome = dataHome;
    return environment;
}

// The three lines of a .trashinfo, with the deletion date within a few seconds of now.
void expectTrashInfo(const fs::path &infoFile, const std::string &encodedPath) {
    const std::string text = readFile(infoFile);
    const std::string head = "[Trash Info]\nPath=" + encodedPath + "\nDeletionDate=";
    ASSERT_TRUE(text.starts_with(head)) << text;
    const std::string date = text.substr(head.size());
    ASSERT_EQ(date.size(), 20u) << text;
    EXPECT_EQ(date.back(), '\n');
    std::tm local{};
    std::istringstream in(date.substr(0, 19));
    in >> std::get_time(&local, "%Y-%m-%dT%H:%M:%S");
    ASSERT_FALSE(in.fail()) << date;
    local.tm_isdst = -1;
    const double seconds = std::difftime(std::time(nullptr), std::mktime(&local));
    EXPECT_LE(std::abs(seconds), 5.0) << date;
    EXPECT_EQ(permissionsOf(infoFile), 0600u);
}

// The real path of a folder, as moveToTrash records it.
std::string realPathOf(const TemporaryFolder &folder) {
    return fs::canonical(folder.path()).native();
}

// Makes a folder whose entries cannot be moved away: immutable for root, who ignores
// permissions, read-only for anyone else. Undone on destruction.
class UnchangeableFolder {
public:
    explicit UnchangeableFolder(fs::path folder) : m_folder(std::move(folder)) {
        m_ok = ::geteuid() == 0 ? setImmutable(true) : ::chmod(m_folder.c_str(), 0555) == 0;
    }
    ~UnchangeableFolder() {
        if (::geteuid() == 0)
            setImmutable(false);
        else
            ::chmod(m_folder.c_str(), 0700);
    }
    UnchangeableFolder(const UnchangeableFolder &) = delete;
    UnchangeableFolder &operator=(const UnchangeableFolder &) = delete;

    bool ok() const { return m_ok; }

private:
    bool setImmutable(bool immutable) {
        const int fd = ::open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return false;
        int flags = 0;
        bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = immutable ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        ::close(fd);
        return done;
    }

    fs::path m_folder;
    bool m_ok = false;
};

// The home Trash --------------------------------------------------------------------------------

TEST(TrashHome, FreshAccountGetsPrivateDataFolderAndTrashAndNothingBesideTheFile) {
    TemporaryFolder account;
    TemporaryFolder work;
    const fs::path dataHome = account.path() / ".local" / "share";
    const auto file = work.file("rapport.pdf", "contents");

    const auto moved = kelo::moveToTrash(file, environmentWith(dataHome));
    ASSERT_TRUE(moved) << moved.error().description;

    const fs::path trash = dataHome / "Trash";
    EXPECT_EQ(*moved, trash / "files" / "rapport.pdf");
    EXPECT_EQ(readFile(*moved), "contents");
    EXPECT_FALSE(fs::exists(fs::symlink_status(file)));
    for (const auto &folder :
         {account.path() / ".local", dataHome, trash, trash / "files", trash / "info"})
        EXPECT_EQ(permissionsOf(folder), 0700u) << folder;
    EXPECT_EQ(entriesOf(trash), (std::vector<std::string>{"files", "info"}));
    expectTrashInfo(trash / "info" / "rapport.pdf.trashinfo", realPathOf(work) + "/rapport.pdf");
    // No files/ or info/ beside the trashed file.
    EXPECT_TRUE(entriesOf(work.path()).empty());
}

TEST(TrashHome, StampAttributeTravelsWithTheFile) {
    TemporaryFolder dataHome;
    TemporaryFolder work;
    const auto file = work.file("contract.odt");
    const std::string stamp = "2031-05-17";
    if (::setxattr(file.c_str(), stampAttribute, stamp.data(), stamp.size(), 0) != 0)
        GTEST_SKIP() << "this file system keeps no user attributes";

    const auto moved = kelo::moveToTrash(file, environmentWith(dataHome.path()));
    ASSERT_TRUE(moved) << moved.error().description;

    char value[64] = {};
    const ssize_t size = ::getxattr(moved->c_str(), stampAttribute, value, sizeof value);
    ASSERT_GT(size, 0);
    EXPECT_EQ(std::string(value, static_cast<std::size_t>(size)), stamp);
}

TEST(TrashHome, ExistingTrashIsReusedAndRelativePathIsRecordedAbsolute) {
    TemporaryFolder dataHome;
    TemporaryFolder work;
    fs::create_directories(dataHome.path() / "Trash" / "files");
    fs::create_directories(dataHome.path() / "Trash" / "info");
    work.file("notes.txt");

    const fs::path before = fs::current_path();
    fs::current_path(work.path());
    const auto moved = kelo::moveToTrash("notes.txt", environmentWith(dataHome.path()));
    fs::current_path(before);
    ASSERT_TRUE(moved) << moved.error().description;

    EXPECT_EQ(*moved, dataHome.path() / "Trash" / "files" / "notes.txt");
    expectTrashInfo(dataHome.path() / "Trash" / "info" / "notes.txt.trashinfo",
                    realPathOf(work) + "/notes.txt");
}

TEST(TrashHome, SymbolicLinkIsTrashedAsTheLinkNotItsTarget) {
    TemporaryFolder dataHome;
    TemporaryFolder work;
    const auto target = work.file("target.txt", "kept");
    fs::create_symlink(target, work.path() / "shortcut");

    const auto moved =
        kelo::moveToTrash(work.path() / "shortcut", environmentWith(dataHome.path()));
    ASSERT_TRUE(moved) << moved.error().description;

    EXPECT_TRUE(fs::is_symlink(*moved));
    EXPECT_EQ(fs::read_symlink(*moved), target);
    EXPECT_EQ(readFile(target), "kept");
    expectTrashInfo(dataHome.path() / "Trash" / "info" / "shortcut.trashinfo",
                    realPathOf(work) + "/shortcut");
}

// Names in the Trash ----------------------------------------------------------------------------

TEST(TrashNames, SameNameFromThreeFoldersGetsNumberedNames) {
    TemporaryFolder dataHome;
    TemporaryFolder work;
    const auto environment = environmentWith(dataHome.path());
    const fs::path info = dataHome.path() / "Trash" / "info";
    const std::vector<std::string> expected = {"rapport.pdf", "rapport.2.pdf", "rapport.3.pdf"};

    for (std::size_t i = 0; i < expected.size(); ++i) {
        const fs::path folder = work.path() / ("folder" + std::to_string(i));
        fs::create_directory(folder);
        std::ofstream(folder / "rapport.pdf") << "copy " << i;

        const auto moved = kelo::moveToTrash(folder / "rapport.pdf", environment);
        ASSERT_TRUE(moved) << moved.error().description;
        EXPECT_EQ(*moved, dataHome.path() / "Trash" / "files" / expected[i]);
        EXPECT_EQ(readFile(*moved), "copy " + std::to_string(i));
        expectTrashInfo(info / (expected[i] + ".trashinfo"),
                        realPathOf(work) + "/folder" + std::to_string(i) + "/rapport.pdf");
    }
}

TEST(TrashNames, NamesWithoutExtensionGetTheCounterAtTheEnd) {
    TemporaryFolder dataHome;
    TemporaryFolder work;
    const auto environment = environmentWith(dataHome.path());
    const fs::path files = dataHome.path() / "Trash" / "files";

    for (const std::string name : {".bashrc", "README"}) {
        for (const char *folder : {"a", "b"}) {
            fs::create_directories(work.path() / folder);
            std::ofstream(work.path() / folder / name) << folder;
            const auto moved = kelo::moveToTrash(work.path() / folder / name, environment);
            ASSERT_TRUE(moved) << moved.error().description;
        }
        EXPECT_EQ(readFile(files / name), "a");
        EXPECT_EQ(readFile(files / (name + ".2")), "b");
    }
}

TEST(TrashNames, LeftoversInTheTrashAreNeverOverwritten) {
    TemporaryFolder dataHome;
    TemporaryFolder work;
    const fs::path trash = dataHome.path() / "Trash";
    fs::create_directories(trash / "files");
    fs::create_directories(trash / "info");
    std::ofstream(trash / "info" / "plan.txt.trashinfo") << "stale info";
    std::ofstream(trash / "files" / "plan.2.txt") << "orphan";
    const auto file = work.file("plan.txt", "new");

    const auto moved = kelo::moveToTrash(file, environmentWith(dataHome.path()));
    ASSERT_TRUE(moved) << moved.error().description;

    EXPECT_EQ(*moved, trash / "files" / "plan.3.txt");
    EXPECT_EQ(readFile(trash / "info" / "plan.txt.trashinfo"), "stale info");
    EXPECT_EQ(readFile(trash / "files" / "plan.2.txt"), "orphan");
    EXPECT_FALSE(fs::exists(trash / "info" / "plan.2.txt.trashinfo"));
    expectTrashInfo(trash / "info" / "plan.3.txt.trashinfo", realPathOf(work) + "/plan.txt");
}

TEST(TrashNames, FolderIsTrashedWholeWithItsContents) {
    TemporaryFolder dataHome;
    TemporaryFolder work;
    const fs::path folder = work.path() / "Project";
    fs::create_directories(folder / "drafts");
    std::ofstream(folder / "drafts" / "one.txt") << "one";
    std::ofstream(folder / "two.txt") << "two";

    // A trailing slash names the folder itself.
    const auto moved = kelo::moveToTrash(folder / "", environmentWith(dataHome.path()));
    ASSERT_TRUE(moved) << moved.error().description;

    EXPECT_EQ(*moved, dataHome.path() / "Trash" / "files" / "Project");
    EXPECT_EQ(readFile(*moved / "drafts" / "one.txt"), "one");
    EXPECT_EQ(readFile(*moved / "two.txt"), "two");
    EXPECT_FALSE(fs::exists(folder));
    expectTrashInfo(dataHome.path() / "Trash" / "info" / "Project.trashinfo",
                    realPathOf(work) + "/Project");
}

TEST(TrashNames, OddBytesArePercentEncodedInPathAndKeptInTheName) {
    TemporaryFolder dataHome;
    TemporaryFolder work;
    const std::string name = "a b%c\nd\xE9\xFF~_-.txt";
    const auto file = work.file(name, "odd");

    const auto moved = kelo::moveToTrash(file, environmentWith(dataHome.path()));
    ASSERT_TRUE(moved) << moved.error().description;

    EXPECT_EQ(moved->filename().native(), name);
    EXPECT_EQ(readFile(*moved), "odd");
    expectTrashInfo(dataHome.path() / "Trash" / "info" / (name + ".trashinfo"),
                    realPathOf(work) + "/a%20b%25c%0Ad%E9%FF~_-.txt");
}

TEST(TrashNames, VeryLongNameIsShortenedToLeaveRoomForItsInfoFile) {
    TemporaryFolder dataHome;
    TemporaryFolder work;
    const std::string name = std::string(240, 'x') + "\xC3\xA9" + std::string(6, 'y') + ".txt";
    ASSERT_EQ(name.size(), 252u);
    const auto file = work.file(name, "long");

    const auto moved = kelo::moveToTrash(file, environmentWith(dataHome.path()));
    ASSERT_TRUE(moved) << moved.error().description;

    const std::string kept = moved->filename().native();
    EXPECT_LE(kept.size() + std::string(".trashinfo").size(), 255u);
    EXPECT_TRUE(kept.ends_with(".txt")) << kept;
    EXPECT_EQ(readFile(*moved), "long");
    expectTrashInfo(dataHome.path() / "Trash" / "info" / (kept + ".trashinfo"),
                    realPathOf(work) + "/" + std::string(240, 'x') + "%C3%A9yyyyyy.txt");
}

// Failures --------------------------------------------------------------------------------------

TEST(TrashFailure, FileInUnchangeableFolderStaysAndLeavesNoInfoFile) {
    TemporaryFolder dataHome;
    TemporaryFolder work;
    const fs::path folder = work.path() / "locked";
    fs::create_directory(folder);
    std::ofstream(folder / "keep.txt") << "stays";
    const auto environment = environmentWith(dataHome.path());

    kelo::Expected<fs::path> moved = fs::path();
    {
        UnchangeableFolder unchangeable(folder);
        if (!unchangeable.ok())
            GTEST_SKIP() << "cannot make a folder unchangeable here";
        moved = kelo::moveToTrash(folder / "keep.txt", environment);
    }

    ASSERT_FALSE(moved);
    EXPECT_TRUE(moved.error().code == EPERM || moved.error().code == EACCES)
        << moved.error().description;
    EXPECT_NE(moved.error().description.find("keep.txt"), std::string::npos)
        << moved.error().description;
    EXPECT_EQ(readFile(folder / "keep.txt"), "stays");
    EXPECT_TRUE(entriesOf(dataHome.path() / "Trash" / "info").empty());
    EXPECT_TRUE(entriesOf(dataHome.path() / "Trash" / "files").empty());
}

TEST(TrashFailure, MissingItemIsNotFound) {
    TemporaryFolder dataHome;
    TemporaryFolder work;
    const auto environment = environmentWith(dataHome.path());

    for (const fs::path &missing :
         {work.path() / "ghost.txt", work.path() / "gone" / "ghost.txt"}) {
        const auto moved = kelo::moveToTrash(missing, environment);
        ASSERT_FALSE(moved) << missing;
        EXPECT_EQ(moved.error().code, ENOENT) << moved.error().description;
    }
    EXPECT_TRUE(entriesOf(work.path()).empty());
}

TEST(TrashFailure, DataHomeThatIsNotAFolderIsReportedAndNothingIsMoved) {
    TemporaryFolder account;
    TemporaryFolder work;
    const auto notAFolder = account.file("share", "a file");
    const auto file = work.file("draft.txt");

    const auto moved = kelo::moveToTrash(file, environmentWith(notAFolder));
    ASSERT_FALSE(moved);
    EXPECT_EQ(moved.error().code, ENOTDIR) << moved.error().description;
    EXPECT_TRUE(fs::exists(file));
    EXPECT_EQ(entriesOf(work.path()), std::vector<std::string>{"draft.txt"});
}

TEST(TrashFailure, TrashFolderItselfCannotBeTrashedButNothingBreaks) {
    TemporaryFolder dataHome;
    TemporaryFolder work;
    const auto environment = environmentWith(dataHome.path());
    ASSERT_TRUE(kelo::moveToTrash(work.file("first.txt"), environment));

    const auto moved = kelo::moveToTrash(dataHome.path() / "Trash", environment);
    ASSERT_FALSE(moved);
    EXPECT_TRUE(fs::exists(dataHome.path() / "Trash" / "files" / "first.txt"));
    EXPECT_EQ(entriesOf(dataHome.path() / "Trash" / "info"),
              std::vector<std::string>{"first.txt.trashinfo"});
}

// A second file system --------------------------------------------------------------------------

// A tmpfs mounted for the test, at a path with a space (written \040 in the mount table).
class TrashOnOtherFileSystem : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0)
            GTEST_SKIP() << "mounting a file system needs root";
        m_top = m_folder.path() / "usb stick";
        fs::create_directory(m_top);
        if (::mount("tmpfs", m_top.c_str(), "tmpfs", 0, "size=16m") != 0)
            GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
        m_mounted = true;
        m_top = fs::canonical(m_top);
    }
    void TearDown() override {
        if (m_mounted)
            ::umount2(m_top.c_str(), MNT_DETACH);
    }

    // Read after mounting, so that the mount table knows the tmpfs.
    kelo::TrashEnvironment environment() const { return environmentWith(m_home.path() / "data"); }

    fs::path file(const fs::path &relative, const std::string &content = "data") const {
        fs::create_directories((m_top / relative).parent_path());
        std::ofstream(m_top / relative) << content;
        return m_top / relative;
    }

    std::string trashName() const { return ".Trash-" + std::to_string(::getuid()); }

    TemporaryFolder m_folder;
    TemporaryFolder m_home;
    fs::path m_top;
    bool m_mounted = false;
};

TEST_F(TrashOnOtherFileSystem, FileGoesToTopFolderTrashWithRelativePath) {
    const auto item = file("docs/report one.txt", "report");

    const auto moved = kelo::moveToTrash(item, environment());
    ASSERT_TRUE(moved) << moved.error().description;

    const fs::path trash = m_top / trashName();
    EXPECT_EQ(*moved, trash / "files" / "report one.txt");
    EXPECT_EQ(readFile(*moved), "report");
    EXPECT_EQ(permissionsOf(trash), 0700u);
    expectTrashInfo(trash / "info" / "report one.txt.trashinfo", "docs/report%20one.txt");
    EXPECT_FALSE(fs::exists(m_home.path() / "data" / "Trash"));
}

TEST_F(TrashOnOtherFileSystem, TopFolderIsFoundWithoutTheMountTable) {
    const auto item = file("deep/er/photo.jpg");
    auto withoutMountTable = environment();
    withoutMountTable.mountInfo.clear();

    const auto moved = kelo::moveToTrash(item, withoutMountTable);
    ASSERT_TRUE(moved) << moved.error().description;

    EXPECT_EQ(*moved, m_top / trashName() / "files" / "photo.jpg");
    expectTrashInfo(m_top / trashName() / "info" / "photo.jpg.trashinfo", "deep/er/photo.jpg");
}

TEST_F(TrashOnOtherFileSystem, BindMountPointIsItsOwnTopFolder) {
    fs::create_directories(m_top / "inner");
    fs::create_directories(m_top / "bound here");
    ASSERT_EQ(::mount((m_top / "inner").c_str(), (m_top / "bound here").c_str(), nullptr, MS_BIND,
                      nullptr),
              0)
        << std::strerror(errno);
    const auto item = file("bound here/song.ogg");

    const auto moved = kelo::moveToTrash(item, environment());
    ::umount2((m_top / "bound here").c_str(), MNT_DETACH);
    ASSERT_TRUE(moved) << moved.error().description;

    // Found through the mount table only: climbing folders would stop at the tmpfs root.
    EXPECT_TRUE(fs::exists(m_top / "inner" / trashName() / "files" / "song.ogg"));
    expectTrashInfo(m_top / "inner" / trashName() / "info" / "song.ogg.trashinfo", "song.ogg");
}

TEST_F(TrashOnOtherFileSystem, StickySharedTrashIsUsed) {
    fs::create_directory(m_top / ".Trash");
    ASSERT_EQ(::chmod((m_top / ".Trash").c_str(), 01777), 0);
    const auto item = file("movie.mkv");

    const auto moved = kelo::moveToTrash(item, environment());
    ASSERT_TRUE(moved) << moved.error().description;

    const fs::path trash = m_top / ".Trash" / std::to_string(::getuid());
    EXPECT_EQ(*moved, trash / "files" / "movie.mkv");
    EXPECT_EQ(permissionsOf(trash), 0700u);
    expectTrashInfo(trash / "info" / "movie.mkv.trashinfo", "movie.mkv");
    EXPECT_FALSE(fs::exists(m_top / trashName()));
}

TEST_F(TrashOnOtherFileSystem, SharedTrashWithoutStickyBitIsNotUsed) {
    fs::create_directory(m_top / ".Trash");
    ASSERT_EQ(::chmod((m_top / ".Trash").c_str(), 0777), 0);
    const auto item = file("movie.mkv");

    const auto moved = kelo::moveToTrash(item, environment());
    ASSERT_TRUE(moved) << moved.error().description;

    EXPECT_EQ(*moved, m_top / trashName() / "files" / "movie.mkv");
    EXPECT_TRUE(entriesOf(m_top / ".Trash").empty());
}

TEST_F(TrashOnOtherFileSystem, SharedTrashThatIsASymbolicLinkIsNotUsed) {
    fs::create_directory(m_top / "elsewhere");
    ASSERT_EQ(::chmod((m_top / "elsewhere").c_str(), 01777), 0);
    fs::create_directory_symlink("elsewhere", m_top / ".Trash");
    const auto item = file("movie.mkv");

    const auto moved = kelo::moveToTrash(item, environment());
    ASSERT_TRUE(moved) << moved.error().description;

    EXPECT_EQ(*moved, m_top / trashName() / "files" / "movie.mkv");
    EXPECT_TRUE(entriesOf(m_top / "elsewhere").empty());
}

TEST_F(TrashOnOtherFileSystem, TrashFolderOfAnotherUserIsRefused) {
    fs::create_directory(m_top / trashName());
    ASSERT_EQ(::chown((m_top / trashName()).c_str(), ::getuid() + 4242, 0), 0);
    const auto item = file("secret.txt");

    const auto moved = kelo::moveToTrash(item, environment());
    ASSERT_FALSE(moved);
    EXPECT_EQ(moved.error().code, EPERM);
    EXPECT_NE(moved.error().description.find(trashName()), std::string::npos)
        << moved.error().description;
    EXPECT_TRUE(fs::exists(item));
    EXPECT_TRUE(entriesOf(m_top / trashName()).empty());
}

TEST_F(TrashOnOtherFileSystem, TrashFolderThatIsASymbolicLinkIsRefused) {
    fs::create_directory(m_top / "decoy");
    fs::create_directory_symlink("decoy", m_top / trashName());
    const auto item = file("secret.txt");

    const auto moved = kelo::moveToTrash(item, environment());
    ASSERT_FALSE(moved);
    EXPECT_NE(moved.error().description.find("symbolic link"), std::string::npos)
        << moved.error().description;
    EXPECT_TRUE(fs::exists(item));
    EXPECT_TRUE(entriesOf(m_top / "decoy").empty());
}

TEST_F(TrashOnOtherFileSystem, ReadOnlyFileSystemSaysWhyNoTrashCanBeMade) {
    const auto item = file("frozen.txt", "still here");
    ASSERT_EQ(::mount("tmpfs", m_top.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0)
        << std::strerror(errno);

    const auto moved = kelo::moveToTrash(item, environment());
    ASSERT_FALSE(moved);
    EXPECT_EQ(moved.error().code, EROFS) << moved.error().description;
    EXPECT_NE(moved.error().description.find(trashName()), std::string::npos)
        << moved.error().description;
    EXPECT_EQ(readFile(item), "still here");
    EXPECT_EQ(entriesOf(m_top), std::vector<std::string>{"frozen.txt"});
}

// Another program reads what we wrote -----------------------------------------------------------

std::string findProgram(const std::string &name) {
    const char *path = std::getenv("PATH");
    std::istringstream folders(path ? path : "/usr/bin:/bin");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const fs::path candidate = fs::path(folder) / name;
        if (!folder.empty() && ::access(candidate.c_str(), X_OK) == 0)
            return candidate.native();
    }
    return {};
}

bool mentions(const ProcessResult &result, const std::string &text) {
    return result.out.find(text) != std::string::npos || result.err.find(text) != std::string::npos;
}

// Runs gio inside a private D-Bus session when there is one to be had: gio reaches the Trash
// through gvfs, which the session bus starts on demand.
ProcessResult runGio(const std::string &gio, const std::vector<std::string> &arguments) {
    std::vector<std::string> command = {gio};
    command.insert(command.end(), arguments.begin(), arguments.end());
    const std::string session = findProgram("dbus-run-session");
    if (!session.empty())
        command.insert(command.begin(), {session, "--"});
    return runProcess(command);
}

TEST(TrashPeer, GioRestoresOrListsWhatWeTrashed) {
    const std::string gio = findProgram("gio");
    if (gio.empty())
        GTEST_SKIP() << "gio is not installed (Debian package libglib2.0-bin)";
    const ProcessResult help = runProcess({gio, "trash", "--help"});
    const bool canRestore = mentions(help, "--restore");
    const bool canList = mentions(help, "--list");
    if (!canRestore && !canList)
        GTEST_SKIP() << "this gio can neither restore nor list the Trash";

    TemporaryFolder account;
    TemporaryFolder work;
    const fs::path dataHome = account.path() / "data";
    const ScopedEnvironment home("HOME", account.path().c_str());
    const ScopedEnvironment data("XDG_DATA_HOME", dataHome.c_str());
    const auto file = work.file("peer file.txt", "come back");
    const std::string original = realPathOf(work) + "/peer file.txt";

    const auto moved = kelo::moveToTrash(file, environmentWith(dataHome));
    ASSERT_TRUE(moved) << moved.error().description;
    const std::string uri = "trash:///peer%20file.txt";

    // Without gvfs, gio has no trash:/// to look into: nothing to learn then.
    const auto unsupported = [](const ProcessResult &result) {
        return mentions(result, "not supported");
    };
    if (canRestore) {
        const ProcessResult restored = runGio(gio, {"trash", "--restore", uri});
        if (!unsupported(restored)) {
            ASSERT_EQ(restored.exitCode, 0) << restored.err;
            EXPECT_EQ(readFile(original), "come back");
            EXPECT_FALSE(fs::exists(fs::symlink_status(*moved)));
            return;
        }
    }
    if (canList) {
        const ProcessResult listed = runGio(gio, {"trash", "--list"});
        if (!unsupported(listed)) {
            ASSERT_EQ(listed.exitCode, 0) << listed.err;
            EXPECT_NE(listed.out.find(original), std::string::npos) << listed.out;
            return;
        }
    }
    GTEST_SKIP() << "gio cannot open trash:/// without gvfs (Debian package gvfs)";
}

} // namespace
