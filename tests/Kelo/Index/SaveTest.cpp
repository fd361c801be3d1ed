// A stamped file saved by the programs people use keeps its date and tags; nothing else gains one.

#include "IndexTestSupport.h"
#include "Subprocess.h"

#include "ExpiryStamp.h"
#include "IndexCache.h"
#include "TagList.h"

#include <fstream>
#include <functional>
#include <optional>
#include <thread>

#include <linux/fs.h>
#include <sys/ioctl.h>

namespace fs = std::filesystem;

namespace {

constexpr std::string_view oldStamp = "2026-03-01";
constexpr std::string_view oldTags = "Werk,Kelo,Project X";
// The window the index is given here: short, so that "long after" is a second away.
constexpr auto window = std::chrono::seconds(1);

std::optional<std::string> attribute(const fs::path &file, const char *name) {
    char value[256];
    const ssize_t size = ::lgetxattr(file.c_str(), name, value, sizeof value);
    if (size < 0)
        return std::nullopt;
    return std::string(value, static_cast<size_t>(size));
}

void write(const fs::path &file, std::string_view text) {
    std::ofstream(file) << text;
}

void shell(const std::string &script, const fs::path &file) {
    const auto result = runProcess({"/bin/sh", "-c", script, "sh", file.string()});
    ASSERT_EQ(result.exitCode, 0) << script << ": " << result.err;
}

void setImmutable(const fs::path &file, bool immutable) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    int flags = 0;
    ASSERT_EQ(::ioctl(fd, FS_IOC_GETFLAGS, &flags), 0);
    flags = immutable ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    ASSERT_EQ(::ioctl(fd, FS_IOC_SETFLAGS, &flags), 0);
    ::close(fd);
}

struct Folders {
    fs::path root;
    fs::path outside;
};

struct SaveShape {
    std::string name;
    // Does something to the stamped file `file`; gives the file to look at afterwards.
    std::function<fs::path(const fs::path &file, const Folders &folders)> act;
    // The stamp that file must end with: the old one, one of its own, or none.
    std::optional<std::string> stamp;
    // Also checked: another file that must keep (or have) the old stamp, such as a backup.
    std::function<fs::path(const fs::path &file)> alsoStamped = nullptr;
};

void PrintTo(const SaveShape &shape, std::ostream *out) {
    *out << shape.name;
}

const SaveShape shapes[] = {
    // The programs people save with.
    {"GioSave",
     [](const fs::path &file, const Folders &) {
         shell("printf nieuw | gio save \"$1\"", file);
         return file;
     },
     std::string(oldStamp)},
    {"QSaveFile",
     [](const fs::path &file, const Folders &) {
         const auto result = runProcess({QSAVEFILE_WRITER, file.string(), "nieuw"});
         EXPECT_EQ(result.exitCode, 0) << result.err;
         return file;
     },
     std::string(oldStamp)},
    {"PythonTemporaryFileAndReplace",
     [](const fs::path &file, const Folders &) {
         shell("exec python3 -c 'import os, sys, tempfile\n"
               "fd, tmp = tempfile.mkstemp(dir=os.path.dirname(sys.argv[1]))\n"
               "os.write(fd, b\"nieuw\"); os.close(fd); os.replace(tmp, sys.argv[1])' \"$1\"",
               file);
         return file;
     },
     std::string(oldStamp)},
    {"SedInPlace",
     [](const fs::path &file, const Folders &) {
         shell("sed -i s/oud/nieuw/ \"$1\"", file);
         return file;
     },
     std::string(oldStamp)},
    // The old file renamed to a backup name, the new one written under the name: both have
    // the date, so it is never on the backup only.
    {"BackupRenameThenNewFile",
     [](const fs::path &file, const Folders &) {
         fs::rename(file, file.string() + "~");
         write(file, "nieuw");
         return file;
     },
     std::string(oldStamp), [](const fs::path &file) { return fs::path(file.string() + "~"); }},
    {"DeletedAndCreatedAgain",
     [](const fs::path &file, const Folders &) {
         fs::remove(file);
         write(file, "nieuw");
         return file;
     },
     std::string(oldStamp)},
    {"UnnamedFileLinkedInAfterDelete",
     [](const fs::path &file, const Folders &) {
         const int fd = ::open(file.parent_path().c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
         EXPECT_GE(fd, 0);
         EXPECT_EQ(::write(fd, "nieuw", 5), 5);
         fs::remove(file);
         const std::string self = "/proc/self/fd/" + std::to_string(fd);
         EXPECT_EQ(::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, file.c_str(), AT_SYMLINK_FOLLOW), 0);
         ::close(fd);
         return file;
     },
     std::string(oldStamp)},

    // What is not a save keeps what it has.
    {"PlainCopyToANewName",
     [](const fs::path &file, const Folders &) {
         const fs::path copy = file.parent_path() / "kopie.txt";
         shell("cp \"$1\" \"${1%/*}/kopie.txt\"", file);
         return copy;
     },
     std::nullopt},
    {"NewFileFromAnotherFolderMovedOver",
     [](const fs::path &file, const Folders &folders) {
         const fs::path arriving = folders.outside / "binnen.txt";
         write(arriving, "nieuw");
         fs::rename(arriving, file);
         return file;
     },
     std::nullopt},
    {"OlderFileFromTheSameFolderMovedOver",
     [](const fs::path &file, const Folders &) {
         const fs::path older = file.parent_path() / "ouder.txt";
         write(older, "nieuw");
         std::this_thread::sleep_for(window + std::chrono::milliseconds(300));
         fs::rename(older, file);
         return file;
     },
     std::nullopt},
    {"CreatedLongAfterTheDelete",
     [](const fs::path &file, const Folders &) {
         fs::remove(file);
         std::this_thread::sleep_for(window + std::chrono::milliseconds(300));
         write(file, "nieuw");
         return file;
     },
     std::nullopt},
    {"NewFileWithAStampOfItsOwn",
     [](const fs::path &file, const Folders &) {
         const fs::path temporary = file.parent_path() / ".opslaan-tmp";
         write(temporary, "nieuw");
         EXPECT_EQ(::lsetxattr(temporary.c_str(), kelo::stampAttributeName, "2030-01-01", 10, 0),
                   0);
         fs::rename(temporary, file);
         return file;
     },
     std::string("2030-01-01")},
    // "Altijd houden" just before a save: the keeper cannot tell it from a touch of the old
    // file, so it carries nothing.
    {"KeptForeverJustBeforeASave",
     [](const fs::path &file, const Folders &) {
         EXPECT_FALSE(kelo::clearStamp(file));
         shell("printf nieuw | gio save \"$1\"", file);
         return file;
     },
     std::nullopt},
};

class SaveTest : public ::testing::TestWithParam<SaveShape> {
protected:
    TemporaryFolder folder;
    Folders folders{folder.path() / "thuis", folder.path() / "elders"};
    fs::path file = folders.root / "documenten/verslag.txt";
    fs::path cache = folder.path() / "cache/tag-index";

    void SetUp() override {
        fs::create_directories(file.parent_path());
        fs::create_directories(folders.outside);
        write(file, "oud\n");
        stamp(file);
    }

    static void stamp(const fs::path &file) {
        ASSERT_EQ(::lsetxattr(file.c_str(), kelo::stampAttributeName, oldStamp.data(),
                              oldStamp.size(), 0),
                  0);
        tag(file, oldTags);
    }

    std::unique_ptr<IndexHarness> startIndex() {
        auto harness = std::make_unique<IndexHarness>(
            std::vector<fs::path>{folders.root, folders.outside}, cache, window);
        harness->start();
        EXPECT_TRUE(harness->waitGathered());
        return harness;
    }
};

// Waits until the index has dealt with the change: `path` is in its results exactly when it is
// tagged on disk.
bool settled(IndexHarness &harness, const fs::path &path) {
    return harness.waitFor([&] {
        const auto tags = attribute(path, kelo::tagListAttributeName);
        const bool tagged = tags && kelo::tagListContains(*tags, "Kelo");
        return harness.results().contains(path.string()) == tagged;
    });
}

} // namespace

TEST_P(SaveTest, KeepsTheDateThroughASaveAndGivesNoneToAnythingElse) {
    const auto harness = startIndex();
    ASSERT_EQ(harness->results(), std::set<std::string>{file.string()});
    const SaveShape &shape = GetParam();
    const fs::path after = shape.act(file, folders);
    if (shape.stamp) {
        ASSERT_TRUE(harness->waitFor([&] {
            return attribute(after, kelo::stampAttributeName) == shape.stamp;
        })) << attribute(after, kelo::stampAttributeName).value_or("no stamp");
        if (shape.stamp == oldStamp) {
            EXPECT_EQ(attribute(after, kelo::tagListAttributeName), std::string(oldTags));
        }
        EXPECT_TRUE(harness->waitFor([&] { return harness->results().contains(after.string()); }));
    } else {
        ASSERT_TRUE(settled(*harness, after));
        // Time for a mistaken carry to show.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_EQ(attribute(after, kelo::stampAttributeName), std::nullopt);
        EXPECT_FALSE(harness->results().contains(after.string()));
    }
    if (shape.alsoStamped) {
        EXPECT_EQ(attribute(shape.alsoStamped(file), kelo::stampAttributeName),
                  std::string(oldStamp));
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, SaveTest, ::testing::ValuesIn(shapes),
                         [](const auto &row) { return row.param.name; });

using SaveAftermathTest = SaveTest;

// A carried date is the file's own from then on: "Altijd houden" takes it away for good.
TEST_F(SaveAftermathTest, KeepForeverAfterASaveIsNotUndone) {
    const auto harness = startIndex();
    shell("printf nieuw | gio save \"$1\"", file);
    ASSERT_TRUE(
        harness->waitFor([&] { return attribute(file, kelo::stampAttributeName).has_value(); }));
    ASSERT_FALSE(kelo::clearStamp(file));
    ASSERT_TRUE(harness->waitResults({}));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(attribute(file, kelo::stampAttributeName), std::nullopt);
}

// A file the date cannot be written to: one line in the log, and no second attempt.
TEST_F(SaveAftermathTest, ASaveThatCannotTakeTheDateIsLoggedOnce) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to make a file unchangeable";
    const auto harness = startIndex();
    const fs::path temporary = file.parent_path() / ".verslag.txt.tmp";
    write(temporary, "nieuw");
    fs::rename(temporary, file);
    setImmutable(file, true);
    ASSERT_TRUE(settled(*harness, file));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // Something else happening in the folder afterwards does not bring a second attempt.
    write(file.parent_path() / "ander.txt", "x");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    setImmutable(file, false);
    EXPECT_EQ(attribute(file, kelo::stampAttributeName), std::nullopt);
    const auto log = harness->log();
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string &line) {
                                return line.find("could not carry the date") != std::string::npos;
                            }),
              1)
        << ::testing::PrintToString(log);
}

// Saved while Kelo was not running: the next start gives the file its date back, and only that
// file; a date the user took away meanwhile stays away.
TEST_F(SaveAftermathTest, ASaveMadeWhileKeloWasStoppedIsMendedAtTheNextStart) {
    const fs::path cleared = file.parent_path() / "afgehandeld.txt";
    write(cleared, "klaar");
    stamp(cleared);
    startIndex().reset();
    ASSERT_TRUE(kelo::loadStampRecords(kelo::stampRecordsFile(cache)));

    shell("exec python3 -c 'import os, sys\n"
          "open(sys.argv[1] + \".new\", \"w\").write(\"nieuw\")\n"
          "os.replace(sys.argv[1] + \".new\", sys.argv[1])' \"$1\"",
          file);
    ASSERT_FALSE(kelo::clearStamp(cleared));
    ASSERT_EQ(attribute(file, kelo::stampAttributeName), std::nullopt);

    const auto harness = startIndex();
    EXPECT_EQ(attribute(file, kelo::stampAttributeName), std::string(oldStamp));
    EXPECT_EQ(attribute(file, kelo::tagListAttributeName), std::string(oldTags));
    EXPECT_EQ(attribute(cleared, kelo::stampAttributeName), std::nullopt);
    EXPECT_EQ(harness->results(), std::set<std::string>{file.string()});
    const auto log = harness->log();
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [&](const std::string &line) {
                                return line.find("gave " + file.string() + " its date back") !=
                                       std::string::npos;
                            }),
              1)
        << ::testing::PrintToString(log);
}
