#include "Trash.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "ScopedEnvironment.h"
#include "Subprocess.h"
#include "TemporaryFolder.h"
#include "UnchangeableFile.h"

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

namespace {

std::string readFile(const fs::path &file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

Names entriesOf(const fs::path &folder) {
    Names names;
    for (const auto &entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().native());
    std::sort(names.begin(), names.end());
    return names;
}

mode_t permissionsOf(const fs::path &path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
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
    EXPECT_LE(std::abs(std::difftime(std::time(nullptr), std::mktime(&local))), 5.0) << date;
    EXPECT_EQ(permissionsOf(infoFile), 0600u);
}

// The home Trash of a fresh account, and a work folder to trash from.
class TrashHome : public ::testing::Test {
protected:
    TemporaryFolder account;
    TemporaryFolder work;
    const fs::path dataHome = account.path() / ".local" / "share";
    const kelo::TrashEnvironment environment = environmentWith(dataHome);
    const fs::path trash = dataHome / "Trash";
    // The real path of the work folder, as moveToTrash records it.
    const std::string original = fs::canonical(work.path()).native();

    // Moves `item` to the Trash, expecting success; where it went.
    fs::path trashed(const fs::path &item) {
        const auto moved = kelo::moveToTrash(item, environment);
        EXPECT_TRUE(moved) << item << ": " << moved.error().description;
        return moved ? *moved : fs::path();
    }
};

// The home Trash --------------------------------------------------------------------------------

TEST_F(TrashHome, AFreshAccountGetsPrivateFoldersAndTheFileKeepsItsStamp) {
    const auto file = work.file("rapport.pdf", "contents");
    const bool attributes =
        ::setxattr(file.c_str(), "user.wex.dorvel.kelo.expires", "2031-05-17", 10, 0) == 0;
    const auto moved = trashed(file);
    EXPECT_EQ(moved, trash / "files" / "rapport.pdf");
    EXPECT_EQ(readFile(moved), "contents");
    EXPECT_FALSE(fs::exists(fs::symlink_status(file)));
    for (const auto &folder :
         {account.path() / ".local", dataHome, trash, trash / "files", trash / "info"})
        EXPECT_EQ(permissionsOf(folder), 0700u) << folder;
    EXPECT_EQ(entriesOf(trash), (Names{"files", "info"}));
    expectTrashInfo(trash / "info" / "rapport.pdf.trashinfo", original + "/rapport.pdf");
    // No files/ or info/ beside the trashed file.
    EXPECT_TRUE(entriesOf(work.path()).empty());
    if (attributes) { // a file system without user attributes has no stamp to lose
        char value[16] = {};
        EXPECT_EQ(::getxattr(moved.c_str(), "user.wex.dorvel.kelo.expires", value, sizeof value),
                  10);
        EXPECT_STREQ(value, "2031-05-17");
    }
}

TEST_F(TrashHome, RelativePathsLinksAndFoldersInAnExistingTrash) {
    fs::create_directories(trash / "files");
    fs::create_directories(trash / "info");
    work.file("notes.txt");
    const fs::path before = fs::current_path();
    fs::current_path(work.path());
    const auto notes = trashed("notes.txt");
    fs::current_path(before);
    EXPECT_EQ(notes, trash / "files" / "notes.txt");
    expectTrashInfo(trash / "info" / "notes.txt.trashinfo", original + "/notes.txt");

    // A symbolic link goes as the link, not its target.
    const auto target = work.file("target.txt", "kept");
    fs::create_symlink(target, work.path() / "shortcut");
    const auto link = trashed(work.path() / "shortcut");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link), target);
    EXPECT_EQ(readFile(target), "kept");
    expectTrashInfo(trash / "info" / "shortcut.trashinfo", original + "/shortcut");

    // A folder goes whole; a trailing slash names the folder itself.
    const fs::path project = work.path() / "Project";
    fs::create_directories(project / "drafts");
    std::ofstream(project / "drafts" / "one.txt") << "one";
    std::ofstream(project / "two.txt") << "two";
    const auto folder = trashed(project / "");
    EXPECT_EQ(folder, trash / "files" / "Project");
    EXPECT_EQ(readFile(folder / "drafts" / "one.txt"), "one");
    EXPECT_EQ(readFile(folder / "two.txt"), "two");
    EXPECT_FALSE(fs::exists(project));
    expectTrashInfo(trash / "info" / "Project.trashinfo", original + "/Project");
}

// Names in the Trash ----------------------------------------------------------------------------

TEST_F(TrashHome, NamesAreNumberedKeptByteForByteAndNeverOverwriteLeftovers) {
    const std::string odd = "a b%c\nd\xE9\xFF~_-.txt";
    // Each: the folder in work/, the file's name, its name in the Trash, the Path= after work/.
    const std::array<std::string, 4> cases[] = {
        {"a", "rapport.pdf", "rapport.pdf", "a/rapport.pdf"},
        {"b", "rapport.pdf", "rapport.2.pdf", "b/rapport.pdf"},
        {"c", "rapport.pdf", "rapport.3.pdf", "c/rapport.pdf"},
        {"a", ".bashrc", ".bashrc", "a/.bashrc"},
        {"b", ".bashrc", ".bashrc.2", "b/.bashrc"},
        {"a", "README", "README", "a/README"},
        {"b", "README", "README.2", "b/README"},
        {"a", odd, odd, "a/a%20b%25c%0Ad%E9%FF~_-.txt"}};
    for (const auto &[folder, name, inTrash, recorded] : cases) {
        SCOPED_TRACE(folder + "/" + name);
        fs::create_directories(work.path() / folder);
        std::ofstream(work.path() / folder / name) << folder << name;
        const auto moved = trashed(work.path() / folder / name);
        EXPECT_EQ(moved, trash / "files" / inTrash);
        EXPECT_EQ(readFile(moved), folder + name);
        expectTrashInfo(trash / "info" / (inTrash + ".trashinfo"), original + "/" + recorded);
    }

    // A very long name is shortened to leave room for its info file.
    const std::string name = std::string(240, 'x') + "\xC3\xA9" + std::string(6, 'y') + ".txt";
    ASSERT_EQ(name.size(), 252u);
    const auto moved = trashed(work.file(name, "long"));
    const std::string kept = moved.filename().native();
    EXPECT_LE(kept.size() + std::string(".trashinfo").size(), 255u);
    EXPECT_TRUE(kept.ends_with(".txt")) << kept;
    EXPECT_EQ(readFile(moved), "long");
    expectTrashInfo(trash / "info" / (kept + ".trashinfo"),
                    original + "/" + std::string(240, 'x') + "%C3%A9yyyyyy.txt");

    // Leftovers: an info file without its file, a file without its info file.
    std::ofstream(trash / "info" / "plan.txt.trashinfo") << "stale info";
    std::ofstream(trash / "files" / "plan.2.txt") << "orphan";
    EXPECT_EQ(trashed(work.file("plan.txt", "new")), trash / "files" / "plan.3.txt");
    EXPECT_EQ(readFile(trash / "info" / "plan.txt.trashinfo"), "stale info");
    EXPECT_EQ(readFile(trash / "files" / "plan.2.txt"), "orphan");
    EXPECT_FALSE(fs::exists(trash / "info" / "plan.2.txt.trashinfo"));
    expectTrashInfo(trash / "info" / "plan.3.txt.trashinfo", original + "/plan.txt");
}

// Failures --------------------------------------------------------------------------------------

TEST_F(TrashHome, FileInUnchangeableFolderStaysAndLeavesNoInfoFile) {
    const fs::path folder = work.path() / "locked";
    fs::create_directory(folder);
    std::ofstream(folder / "keep.txt") << "stays";
    kelo::Expected<fs::path> moved = fs::path();
    {
        const UnchangeableFile unchangeable(folder);
        if (!unchangeable.ok())
            GTEST_SKIP() << "cannot make a folder unchangeable here";
        moved = kelo::moveToTrash(folder / "keep.txt", environment);
    }
    fs::permissions(folder, fs::perms::owner_all);

    ASSERT_FALSE(moved);
    EXPECT_TRUE(moved.error().code == EPERM || moved.error().code == EACCES)
        << moved.error().description;
    EXPECT_NE(moved.error().description.find("keep.txt"), std::string::npos)
        << moved.error().description;
    EXPECT_EQ(readFile(folder / "keep.txt"), "stays");
    EXPECT_TRUE(entriesOf(trash / "info").empty());
    EXPECT_TRUE(entriesOf(trash / "files").empty());
}

TEST_F(TrashHome, MissingItemsTheTrashItselfAndABadDataHomeAreRefused) {
    ASSERT_EQ(trashed(work.file("first.txt")), trash / "files" / "first.txt");
    for (const fs::path &missing :
         {work.path() / "ghost.txt", work.path() / "gone" / "ghost.txt"}) {
        const auto moved = kelo::moveToTrash(missing, environment);
        ASSERT_FALSE(moved) << missing;
        EXPECT_EQ(moved.error().code, ENOENT) << moved.error().description;
    }
    EXPECT_FALSE(kelo::moveToTrash(trash, environment));
    EXPECT_TRUE(fs::exists(trash / "files" / "first.txt"));
    EXPECT_EQ(entriesOf(trash / "info"), Names{"first.txt.trashinfo"});

    const auto file = work.file("draft.txt");
    const auto moved = kelo::moveToTrash(file, environmentWith(account.file("share", "a file")));
    ASSERT_FALSE(moved);
    EXPECT_EQ(moved.error().code, ENOTDIR) << moved.error().description;
    EXPECT_EQ(entriesOf(work.path()), Names{"draft.txt"});
}

// A link in the Trash's place, or in the place of its files/ or info/, would put the file (or its
// info file) outside every Trash, where gio puts it.
TEST_F(TrashHome, ATrashOrTrashFolderThatIsALinkIsRefusedAndTheFileStays) {
    const fs::path decoy = account.path() / "elders";
    const struct {
        const char *what;
        fs::path link;
        fs::path target;
    } cases[] = {{"the Trash", trash, decoy},
                 {"files", trash / "files", decoy / "files"},
                 {"info", trash / "info", decoy / "info"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(trash);
        fs::remove_all(decoy);
        for (const fs::path &folder : {trash, decoy})
            for (const char *name : {"files", "info"})
                fs::create_directories(folder / name);
        fs::remove_all(c.link);
        fs::create_directory_symlink(c.target, c.link);
        const auto file = work.file("geheim.txt", "blijft");

        const auto moved = kelo::moveToTrash(file, environment);
        ASSERT_FALSE(moved);
        EXPECT_EQ(moved.error().code, ELOOP) << moved.error().description;
        EXPECT_EQ(moved.error().description, "cannot use \"" + c.link.native() +
                                                 "\" as a Trash folder: it is a symbolic link");
        EXPECT_EQ(readFile(file), "blijft");
        for (const fs::path &folder : {trash, decoy})
            for (const char *name : {"files", "info"})
                EXPECT_TRUE(entriesOf(folder / name).empty()) << folder / name;
    }
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
    void makeFolder(const fs::path &relative, mode_t mode) const {
        fs::create_directory(m_top / relative);
        ASSERT_EQ(::chmod((m_top / relative).c_str(), mode), 0);
    }
    void clear() const {
        for (const auto &entry : fs::directory_iterator(m_top))
            fs::remove_all(entry.path());
    }

    const std::string own = ".Trash-" + std::to_string(::getuid());
    TemporaryFolder m_folder;
    TemporaryFolder m_home;
    fs::path m_top;
    bool m_mounted = false;
};

TEST_F(TrashOnOtherFileSystem, FilesGoToTheTopFoldersTrashWithRelativePaths) {
    // Each: what the top folder holds beforehand, the Trash used, a folder left untouched.
    const struct {
        const char *what;
        std::function<void()> prepare;
        std::string trash;
        std::string untouched;
        bool mountTable = true;
    } cases[] = {
        {"nothing yet", [] {}, own, ""},
        {"no mount table to look in", [] {}, own, "", false},
        {"a sticky shared .Trash", [&] { makeFolder(".Trash", 01777); },
         ".Trash/" + std::to_string(::getuid()), ""},
        {"a shared .Trash without the sticky bit", [&] { makeFolder(".Trash", 0777); }, own,
         ".Trash"},
        {"a shared .Trash that is a link",
         [&] {
             makeFolder("elsewhere", 01777);
             fs::create_directory_symlink("elsewhere", m_top / ".Trash");
         },
         own, "elsewhere"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        c.prepare();
        auto environment = this->environment();
        if (!c.mountTable)
            environment.mountInfo.clear();
        const auto moved =
            kelo::moveToTrash(file("docs/2026/report one.txt", "report"), environment);
        ASSERT_TRUE(moved) << moved.error().description;
        EXPECT_EQ(*moved, m_top / c.trash / "files" / "report one.txt");
        EXPECT_EQ(readFile(*moved), "report");
        EXPECT_EQ(permissionsOf(m_top / c.trash), 0700u);
        expectTrashInfo(m_top / c.trash / "info" / "report one.txt.trashinfo",
                        "docs/2026/report%20one.txt");
        EXPECT_TRUE(c.untouched.empty() || entriesOf(m_top / c.untouched).empty());
        EXPECT_EQ(fs::exists(m_top / own), c.trash == own);
        EXPECT_FALSE(fs::exists(m_home.path() / "data" / "Trash"));
        clear();
    }
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
    EXPECT_TRUE(fs::exists(m_top / "inner" / own / "files" / "song.ogg"));
    expectTrashInfo(m_top / "inner" / own / "info" / "song.ogg.trashinfo", "song.ogg");
}

TEST_F(TrashOnOtherFileSystem, AnUnsafeOrUnwritableTrashIsRefusedAndTheFileStays) {
    // Each: what is wrong, the error code (0: any), a word of the message, a folder left empty.
    const struct {
        const char *what;
        std::function<void()> prepare;
        int code;
        std::string mentions;
        std::string empty;
    } cases[] = {
        {"another user's Trash folder",
         [&] {
             fs::create_directory(m_top / own);
             ASSERT_EQ(::chown((m_top / own).c_str(), ::getuid() + 4242, 0), 0);
         },
         EPERM, own, own},
        {"a Trash folder that is a link",
         [&] {
             fs::create_directory(m_top / "decoy");
             fs::create_directory_symlink("decoy", m_top / own);
         },
         0, "symbolic link", "decoy"},
        // Last: the file system stays read-only.
        {"a read-only file system",
         [&] {
             ASSERT_EQ(::mount("tmpfs", m_top.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0)
                 << std::strerror(errno);
         },
         EROFS, own, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        clear();
        const auto item = file("secret.txt", "still here");
        c.prepare();
        const auto moved = kelo::moveToTrash(item, environment());
        ASSERT_FALSE(moved);
        EXPECT_TRUE(!c.code || moved.error().code == c.code) << moved.error().description;
        EXPECT_NE(moved.error().description.find(c.mentions), std::string::npos)
            << moved.error().description;
        EXPECT_EQ(readFile(item), "still here");
        EXPECT_TRUE(c.empty.empty() || entriesOf(m_top / c.empty).empty());
    }
    EXPECT_EQ(entriesOf(m_top), Names{"secret.txt"});
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
    const std::string original = fs::canonical(work.path()).native() + "/peer file.txt";

    const auto moved = kelo::moveToTrash(file, environmentWith(dataHome));
    ASSERT_TRUE(moved) << moved.error().description;

    // Restored where it came from, or at least listed with its original path; without gvfs,
    // gio has no trash:/// to look into, and nothing to learn then.
    const ProcessResult result =
        canRestore ? runGio(gio, {"trash", "--restore", "trash:///peer%20file.txt"})
                   : runGio(gio, {"trash", "--list"});
    if (mentions(result, "not supported"))
        GTEST_SKIP() << "gio cannot open trash:/// without gvfs (Debian package gvfs)";
    ASSERT_EQ(result.exitCode, 0) << result.err;
    if (canRestore) {
        EXPECT_EQ(readFile(original), "come back");
        EXPECT_FALSE(fs::exists(fs::symlink_status(*moved)));
    } else {
        EXPECT_NE(result.out.find(original), std::string::npos) << result.out;
    }
}

} // namespace
