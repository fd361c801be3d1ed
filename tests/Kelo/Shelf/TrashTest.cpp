#include "Trash.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iomanip>
#include <sstream>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "ScopedEnvironment.h"
#include "Subprocess.h"
#include "TemporaryFolder.h"

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

namespace {

std::string readFile(const fs::path &file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
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

// The Path= of a .trashinfo, after checking that it has its three lines, is private and gives a
// deletion date within a few seconds of now.
std::string recordedPath(const fs::path &infoFile) {
    const std::string text = readFile(infoFile);
    const auto date = text.find("\nDeletionDate=");
    EXPECT_TRUE(text.starts_with("[Trash Info]\nPath=") && text.size() == date + 34 &&
                text.ends_with('\n'))
        << text;
    std::tm local{};
    std::istringstream(text.substr(date + 14)) >> std::get_time(&local, "%Y-%m-%dT%H:%M:%S");
    local.tm_isdst = -1;
    EXPECT_LE(std::abs(std::difftime(std::time(nullptr), std::mktime(&local))), 5.0) << text;
    EXPECT_EQ(permissionsOf(infoFile), 0600u) << infoFile;
    return text.substr(18, date - 18);
}

kelo::TrashEnvironment environmentWith(const fs::path &dataHome) {
    auto environment = kelo::currentTrashEnvironment();
    environment.dataHome = dataHome;
    return environment;
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
    std::string recorded(const std::string &name) {
        return recordedPath(trash / "info" / (name + ".trashinfo"));
    }
};

} // namespace

// Each item as it is: a file by a relative path; a link as the link; a folder whole, a trailing
// slash naming it.
TEST_F(TrashHome, AFreshAccountGetsPrivateFoldersAndItemsGoAsTheyAre) {
    work.file("rapport.pdf", "contents");
    const fs::path before = fs::current_path();
    fs::current_path(work.path());
    const auto moved = trashed("rapport.pdf");
    fs::current_path(before);
    EXPECT_EQ(moved, trash / "files" / "rapport.pdf");
    EXPECT_EQ(readFile(moved), "contents");
    EXPECT_EQ(recorded("rapport.pdf"), original + "/rapport.pdf");
    for (const auto &folder : {account.path() / ".local", dataHome, trash, trash / "info"})
        EXPECT_EQ(permissionsOf(folder), 0700u) << folder;

    const auto target = work.file("target.txt", "kept");
    fs::create_symlink(target, work.path() / "shortcut");
    EXPECT_EQ(fs::read_symlink(trashed(work.path() / "shortcut")), target);
    fs::create_directories(work.path() / "Project" / "drafts");
    std::ofstream(work.path() / "Project" / "drafts" / "one.txt") << "one";
    EXPECT_EQ(readFile(trashed(work.path() / "Project" / "") / "drafts" / "one.txt"), "one");
    EXPECT_EQ(recorded("Project"), original + "/Project");
    EXPECT_EQ(entriesOf(work.path()), Names{"target.txt"});
}

TEST_F(TrashHome, NamesAreNumberedKeptByteForByteAndNeverOverwriteLeftovers) {
    const std::string odd = "a b%c\nd\xE9\xFF~_-.txt";
    const std::string x240(240, 'x');
    // Each: the folder in work/, the file's name, its name in the Trash, the Path= after work/.
    const std::array<std::string, 4> cases[] = {
        {"a", "rapport.pdf", "rapport.pdf", "a/rapport.pdf"},
        {"b", "rapport.pdf", "rapport.2.pdf", "b/rapport.pdf"},
        {"a", ".bashrc", ".bashrc", "a/.bashrc"},
        {"b", ".bashrc", ".bashrc.2", "b/.bashrc"},
        {"a", odd, odd, "a/a%20b%25c%0Ad%E9%FF~_-.txt"},
        // Shortened to leave room for its info file, between characters.
        {"a", x240 + "\xC3\xA9yyyyyy.txt", x240 + ".txt", "a/" + x240 + "%C3%A9yyyyyy.txt"}};
    for (const auto &[folder, name, inTrash, path] : cases) {
        fs::create_directories(work.path() / folder);
        std::ofstream(work.path() / folder / name) << folder << name;
        const auto moved = trashed(work.path() / folder / name);
        EXPECT_EQ(moved, trash / "files" / inTrash);
        EXPECT_EQ(readFile(moved), folder + name);
        EXPECT_EQ(recorded(inTrash), original + "/" + path);
    }

    // Leftovers: an info file without its file, a file without its info file.
    std::ofstream(trash / "info" / "plan.txt.trashinfo") << "stale info";
    std::ofstream(trash / "files" / "plan.2.txt") << "orphan";
    EXPECT_EQ(trashed(work.file("plan.txt", "new")), trash / "files" / "plan.3.txt");
    EXPECT_EQ(readFile(trash / "info" / "plan.txt.trashinfo"), "stale info");
    EXPECT_EQ(readFile(trash / "files" / "plan.2.txt"), "orphan");
    EXPECT_EQ(recorded("plan.3.txt"), original + "/plan.txt");
}

// Nothing missing, no Trash in the Trash, no data home that is a file; and a link in the Trash's
// place, or in the place of its files/ or info/, would put the file (or its info file) outside
// every Trash, where gio puts it.
TEST_F(TrashHome, WhatCannotGoStaysAndLeavesNothingInTheTrash) {
    ASSERT_EQ(trashed(work.file("first.txt")), trash / "files" / "first.txt");
    EXPECT_EQ(kelo::moveToTrash(work.path() / "gone/ghost.txt", environment).error().code, ENOENT);
    EXPECT_FALSE(kelo::moveToTrash(trash, environment));
    const auto file = work.file("draft.txt", "blijft");
    EXPECT_EQ(kelo::moveToTrash(file, environmentWith(account.file("share"))).error().code,
              ENOTDIR);
    EXPECT_EQ(entriesOf(trash / "info"), Names{"first.txt.trashinfo"});

    const fs::path decoy = account.path() / "elders";
    for (const auto &[link, target] : {std::pair(trash, decoy),
                                       {trash / "files", decoy / "files"},
                                       {trash / "info", decoy / "info"}}) {
        for (const fs::path &folder : {trash, decoy}) {
            fs::remove_all(folder);
            fs::create_directories(folder / "files");
            fs::create_directories(folder / "info");
        }
        fs::remove_all(link);
        fs::create_directory_symlink(target, link);
        EXPECT_EQ(kelo::moveToTrash(file, environment).error().code, ELOOP) << link;
        EXPECT_EQ(readFile(file), "blijft");
        EXPECT_EQ(entriesOf(decoy / "files").size() + entriesOf(decoy / "info").size(), 0u);
    }
}

// A tmpfs mounted for the test, at a path with a space (written \040 in the mount table).
class TrashOnOtherFileSystem : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0)
            GTEST_SKIP() << "mounting a file system needs root";
        fs::create_directory(top);
        if (::mount("tmpfs", top.c_str(), "tmpfs", 0, "size=16m") != 0)
            GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
        mounted = true;
    }
    void TearDown() override {
        if (mounted)
            ::umount2(top.c_str(), MNT_DETACH);
    }
    fs::path file(const fs::path &relative) const {
        fs::create_directories((top / relative).parent_path());
        std::ofstream(top / relative) << "data";
        return top / relative;
    }

    const std::string own = ".Trash-" + std::to_string(::getuid());
    TemporaryFolder folder;
    TemporaryFolder home;
    const fs::path top = fs::canonical(folder.path()) / "usb stick";
    bool mounted = false;
};

// A bind mount point is a top folder of its own, found through the mount table only: climbing
// folders would stop at the tmpfs root. A shared .Trash without the sticky bit is not used, and
// a Trash folder of another owner is refused.
TEST_F(TrashOnOtherFileSystem, FilesGoToTheTopFoldersTrashWithRelativePathsOrStay) {
    fs::create_directories(top / "inner");
    fs::create_directories(top / "bound here");
    ASSERT_EQ(
        ::mount((top / "inner").c_str(), (top / "bound here").c_str(), nullptr, MS_BIND, nullptr),
        0)
        << std::strerror(errno);
    // Read after mounting, so that the mount table knows both.
    const auto environment = environmentWith(home.path() / "data");
    const auto song = kelo::moveToTrash(file("bound here/song.ogg"), environment);
    ::umount2((top / "bound here").c_str(), MNT_DETACH);
    ASSERT_TRUE(song) << song.error().description;
    EXPECT_EQ(recordedPath(top / "inner" / own / "info" / "song.ogg.trashinfo"), "song.ogg");

    fs::create_directory(top / ".Trash");
    fs::permissions(top / ".Trash", fs::perms::all);
    const auto moved = kelo::moveToTrash(file("docs/2026/report one.txt"), environment);
    ASSERT_TRUE(moved) << moved.error().description;
    EXPECT_EQ(*moved, top / own / "files" / "report one.txt");
    EXPECT_EQ(permissionsOf(top / own), 0700u);
    EXPECT_EQ(recordedPath(top / own / "info" / "report one.txt.trashinfo"),
              "docs/2026/report%20one.txt");
    EXPECT_TRUE(fs::is_empty(top / ".Trash"));
    EXPECT_FALSE(fs::exists(home.path() / "data" / "Trash"));

    ASSERT_EQ(::chown((top / own).c_str(), ::getuid() + 4242, 0), 0);
    const auto kept = file("docs/kept.txt");
    EXPECT_EQ(kelo::moveToTrash(kept, environment).error().code, EPERM);
    EXPECT_TRUE(fs::exists(kept));
    EXPECT_EQ(entriesOf(top / own / "info"), Names{"report one.txt.trashinfo"});

    // A sticky shared .Trash holds a folder per user; a shared .Trash that is a link is passed
    // over; an own Trash that is a link is refused, and nothing lands where it points.
    fs::remove_all(top / own);
    fs::permissions(top / ".Trash", fs::perms::all | fs::perms::sticky_bit);
    const auto shared = kelo::moveToTrash(kept, environment);
    ASSERT_TRUE(shared) << shared.error().description;
    EXPECT_EQ(*shared, top / ".Trash" / std::to_string(::getuid()) / "files" / "kept.txt");
    fs::create_directories(top / "elders");
    fs::permissions(top / "elders", fs::perms::all | fs::perms::sticky_bit);
    fs::remove_all(top / ".Trash");
    fs::create_directory_symlink("elders", top / ".Trash");
    EXPECT_EQ(kelo::moveToTrash(file("a.txt"), environment).value(), top / own / "files/a.txt");
    fs::remove_all(top / own);
    fs::create_directory_symlink("elders", top / own);
    const auto b = file("b.txt");
    EXPECT_EQ(kelo::moveToTrash(b, environment).error().code, ELOOP);
    EXPECT_TRUE(fs::exists(b));
    EXPECT_TRUE(fs::is_empty(top / "elders"));
}

// gio, inside a private D-Bus session: it reaches the Trash through gvfs, which the session bus
// starts on demand.
TEST_F(TrashHome, GioRestoresWhatWeTrashed) {
    const ScopedEnvironment homeVariable("HOME", account.path().c_str());
    const ScopedEnvironment data("XDG_DATA_HOME", dataHome.c_str());
    const auto file = work.file("peer file.txt", "come back");
    trashed(file);
    const ProcessResult result = runProcess(
        {"/bin/sh", "-c",
         "command -v gio >/dev/null && gio trash --help 2>&1 | grep -q -- --restore || exit 77\n"
         "exec dbus-run-session -- gio trash --restore 'trash:///peer%20file.txt'"});
    if (result.exitCode == 77 || result.err.find("not supported") != std::string::npos)
        GTEST_SKIP() << "needs gio with --restore and gvfs (Debian packages libglib2.0-bin, gvfs)";
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(readFile(file), "come back");
}
