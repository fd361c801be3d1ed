// A stamped file saved by the programs people use keeps its date and tags; nothing else gains one.

#include "IndexTestSupport.h"
#include "Subprocess.h"

#include "ExpiryStamp.h"
#include "TagList.h"

#include <fstream>
#include <optional>

#include <linux/fs.h>
#include <sys/ioctl.h>

namespace {

const std::string oldStamp = "2026-03-01", oldTags = "Werk,Kelo,Project X";

std::optional<std::string> attribute(const fs::path &file,
                                     const char *name = kelo::stampAttributeName) {
    char value[256];
    const ssize_t size = ::lgetxattr(file.c_str(), name, value, sizeof value);
    return size < 0 ? std::nullopt : std::optional(std::string(value, static_cast<size_t>(size)));
}

// Runs a shell script with the file as $1 and a folder outside the index's as $2.
void shell(const std::string &script, const fs::path &file, const fs::path &outside = {}) {
    const auto result =
        runProcess({"/bin/sh", "-c", script, "sh", file.string(), outside.string()});
    ASSERT_EQ(result.exitCode, 0) << script << ": " << result.err;
}

struct SaveShape {
    std::string name;
    // What happens to the stamped file, $1.
    std::string script;
    // The stamp the file (or `after`, beside it) must end with: the old one, its own, or none.
    std::optional<std::string> stamp;
    std::string after = {};
    // Another file beside it that must keep the old stamp, such as a backup.
    std::string alsoStamped = {};
    // "Altijd houden" first.
    bool keptForever = false;
};

void PrintTo(const SaveShape &shape, std::ostream *out) {
    *out << shape.name;
}

const std::string python = "exec python3 -c 'import os, sys\n";

const SaveShape shapes[] = {
    // The programs people save with.
    {"GioSave", "printf nieuw | gio save \"$1\"", oldStamp},
    {"QSaveFile", std::string(QSAVEFILE_WRITER) + " \"$1\" nieuw", oldStamp},
    {"PythonTemporaryFileAndReplace",
     python + "import tempfile\nfd, tmp = tempfile.mkstemp(dir=os.path.dirname(sys.argv[1]))\n"
              "os.write(fd, b\"nieuw\"); os.close(fd); os.replace(tmp, sys.argv[1])' \"$1\"",
     oldStamp},
    {"SedInPlace", "sed -i s/oud/nieuw/ \"$1\"", oldStamp},
    // The old file renamed to a backup name, the new one written under the name: both have
    // the date, so it is never on the backup only.
    {"BackupRenameThenNewFile", "mv \"$1\" \"$1~\" && printf nieuw > \"$1\"", oldStamp, "",
     "verslag.txt~"},
    {"DeletedAndCreatedAgain", "rm \"$1\" && printf nieuw > \"$1\"", oldStamp},
    {"UnnamedFileLinkedInAfterDelete",
     python + "fd = os.open(os.path.dirname(sys.argv[1]), os.O_TMPFILE | os.O_WRONLY, 0o600)\n"
              "os.write(fd, b\"nieuw\"); os.remove(sys.argv[1])\n"
              "import subprocess\nsubprocess.run([\"ln\", \"-L\", \"/proc/self/fd/%d\" % fd, "
              "sys.argv[1]], pass_fds=[fd], check=True)' \"$1\"",
     oldStamp},

    // What is not a save keeps what it has.
    {"PlainCopyToANewName", "cp \"$1\" \"${1%/*}/kopie.txt\"", std::nullopt, "kopie.txt"},
    {"NewFileFromAnotherFolderMovedOver", "printf nieuw > \"$2/b.txt\" && mv \"$2/b.txt\" \"$1\"",
     std::nullopt},
    {"OlderFileFromTheSameFolderMovedOver",
     "printf nieuw > \"$1.ouder\" && sleep 1.3 && mv \"$1.ouder\" \"$1\"", std::nullopt},
    {"CreatedLongAfterTheDelete", "rm \"$1\" && sleep 1.3 && printf nieuw > \"$1\"", std::nullopt},
    {"NewFileWithAStampOfItsOwn",
     python +
         "open(sys.argv[1] + \".tmp\", \"w\").write(\"nieuw\")\n"
         "os.setxattr(sys.argv[1] + \".tmp\", \"user.wex.dorvel.kelo.expires\", b\"2030-01-01\")\n"
         "os.replace(sys.argv[1] + \".tmp\", sys.argv[1])' \"$1\"",
     "2030-01-01"},
    // "Altijd houden" just before a save: the keeper cannot tell it from a touch of the old
    // file, so it carries nothing.
    {"KeptForeverJustBeforeASave", "printf nieuw | gio save \"$1\"", std::nullopt, "", "", true},
};

class SaveTest : public ::testing::TestWithParam<SaveShape> {
protected:
    TemporaryFolder folder;
    fs::path root = folder.path() / "thuis";
    fs::path outside = folder.path() / "elders";
    fs::path file = stamped(root / "documenten/verslag.txt");
    fs::path cache = folder.path() / "cache/tag-index";

    static fs::path stamped(const fs::path &file) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << "oud\n";
        ::lsetxattr(file.c_str(), kelo::stampAttributeName, oldStamp.data(), oldStamp.size(), 0);
        tag(file, oldTags);
        return file;
    }

    // The index, over a short save window, so that "long after" is a second away; a longer quiet
    // time gives a test room to act between a save and the index's answer to it.
    std::unique_ptr<IndexHarness> startIndex(std::chrono::milliseconds quiet = {}) {
        fs::create_directories(outside);
        auto harness = std::make_unique<IndexHarness>(
            std::vector<fs::path>{root, outside}, [&](IndexHarness::Options &options) {
                options.cacheFile = cache;
                options.saveWindow = std::chrono::seconds(1);
                if (quiet.count() > 0)
                    options.quiet = options.longestBatch = quiet;
            });
        harness->start();
        EXPECT_TRUE(harness->waitGathered());
        return harness;
    }
};

// Waits until the index has dealt with the change: `path` is in its results exactly when it is
// tagged on disk; then gives a mistaken carry time to show.
bool settled(IndexHarness &harness, const fs::path &path) {
    const bool done = harness.waitFor([&] {
        const auto tags = attribute(path, kelo::tagListAttributeName);
        return harness.results().contains(path) == (tags && kelo::tagListContains(*tags, "Kelo"));
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return done;
}

} // namespace

TEST_P(SaveTest, KeepsTheDateThroughASaveAndGivesNoneToAnythingElse) {
    const auto harness = startIndex();
    ASSERT_EQ(harness->results(), Set{file});
    const SaveShape &shape = GetParam();
    ASSERT_TRUE(!shape.keptForever || !kelo::clearStamp(file));
    shell(shape.script, file, outside);
    const fs::path after = shape.after.empty() ? file : file.parent_path() / shape.after;
    if (shape.stamp) {
        // The date comes first, the tags just after it.
        ASSERT_TRUE(harness->waitFor([&] {
            return attribute(after) == shape.stamp &&
                   (shape.stamp != oldStamp ||
                    attribute(after, kelo::tagListAttributeName) == oldTags);
        })) << attribute(after).value_or("no stamp");
        // Found exactly when tagged: a file that brought a date of its own keeps its own tags.
        EXPECT_TRUE(settled(*harness, after));
    } else {
        ASSERT_TRUE(settled(*harness, after));
        EXPECT_EQ(attribute(after), std::nullopt);
        EXPECT_FALSE(harness->results().contains(after));
    }
    EXPECT_TRUE(shape.alsoStamped.empty() ||
                attribute(file.parent_path() / shape.alsoStamped) == oldStamp);
}

INSTANTIATE_TEST_SUITE_P(Shapes, SaveTest, ::testing::ValuesIn(shapes),
                         [](const auto &row) { return row.param.name; });

using SaveAftermathTest = SaveTest;

// A carried date is the file's own from then on: "Altijd houden" takes it away for good.
TEST_F(SaveAftermathTest, KeepForeverAfterASaveIsNotUndone) {
    const auto harness = startIndex();
    shell("printf nieuw | gio save \"$1\"", file);
    ASSERT_TRUE(harness->waitFor([&] { return attribute(file).has_value(); }));
    ASSERT_FALSE(kelo::clearStamp(file));
    ASSERT_TRUE(harness->waitResults({}));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(attribute(file), std::nullopt);
}

// A file the date cannot be written to: one line in the log, and no second attempt when
// something else happens in the folder afterwards.
TEST_F(SaveAftermathTest, ASaveThatCannotTakeTheDateIsLoggedOnce) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to make a file unchangeable";
    const auto harness = startIndex(std::chrono::milliseconds(400));
    const auto immutable = [&](bool on) {
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        long flags = 0;
        ASSERT_EQ(::ioctl(fd, FS_IOC_GETFLAGS, &flags), 0);
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~long{FS_IMMUTABLE_FL};
        ASSERT_EQ(::ioctl(fd, FS_IOC_SETFLAGS, &flags), 0);
        ::close(fd);
    };
    std::ofstream(file.parent_path() / ".verslag.txt.tmp") << "nieuw";
    fs::rename(file.parent_path() / ".verslag.txt.tmp", file);
    immutable(true);
    ASSERT_TRUE(settled(*harness, file));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::ofstream(file.parent_path() / "ander.txt") << "x";
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    immutable(false);
    EXPECT_EQ(attribute(file), std::nullopt);
    EXPECT_EQ(harness->logged("could not carry the date"), 1);
}

// Saved while Kelo was not running: the next start gives the file its date back, and only that
// file; a date the user took away meanwhile stays away.
TEST_F(SaveAftermathTest, ASaveMadeWhileKeloWasStoppedIsMendedAtTheNextStart) {
    const fs::path cleared = stamped(file.parent_path() / "afgehandeld.txt");
    startIndex().reset();

    shell("printf nieuw > \"$1.new\" && mv \"$1.new\" \"$1\"", file);
    ASSERT_FALSE(kelo::clearStamp(cleared));
    ASSERT_EQ(attribute(file), std::nullopt);

    const auto harness = startIndex();
    EXPECT_EQ(attribute(file), oldStamp);
    EXPECT_EQ(attribute(file, kelo::tagListAttributeName), oldTags);
    EXPECT_EQ(attribute(cleared), std::nullopt);
    EXPECT_EQ(harness->results(), Set{file});
}
