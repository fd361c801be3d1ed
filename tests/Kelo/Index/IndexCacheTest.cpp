#include "IndexCache.h"

#include "Checksum.h"
#include "ScopedEnvironment.h"
#include "TemporaryFolder.h"

#include <fstream>
#include <functional>
#include <iterator>

#include <sys/stat.h>

#include <gtest/gtest.h>

using namespace kelo;
using Path = std::filesystem::path;
using Paths = std::vector<Path>;

namespace {

const std::string signature = "0123456789abcdef";

std::string contentOf(const Path &file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const Path &file, const std::string &content) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << content;
}

// A cache file's body with its checksum line, written out here to reach the checks behind it.
std::string sealed(const std::string &body) {
    return body + hexDigits(fnv1a(body)) + "\n";
}

class IndexCache : public ::testing::Test {
protected:
    TemporaryFolder folder;
    Path file = folder.path() / "tag-index";
    // A few small paths: the byte-by-byte tests go over every position of this file.
    Paths small = {"/home/a b/x.txt", "/tmp/n\nl"};

    // Every change of one byte, every cut and any trailing garbage leaves `file` unloadable.
    void expectNoDamageLoads(const std::function<bool()> &loads) {
        const std::string original = contentOf(file);
        ASSERT_TRUE(loads());
        for (size_t position = 0; position < original.size(); ++position) {
            for (int change = 1; change < 256; ++change) {
                std::string damaged = original;
                damaged[position] = static_cast<char>(damaged[position] ^ change);
                writeFile(file, damaged);
                ASSERT_FALSE(loads()) << "byte " << position << " xor " << change;
            }
            writeFile(file, original.substr(0, position));
            ASSERT_FALSE(loads()) << "length " << position;
        }
        for (const std::string &garbage :
             {std::string("\n"), std::string(1, '\0'), std::string("x"),
              original.substr(original.size() - 17)}) {
            writeFile(file, original + garbage);
            EXPECT_FALSE(loads()) << garbage;
        }
    }
    size_t files() const {
        const auto listing = std::filesystem::directory_iterator(folder.path());
        return static_cast<size_t>(std::distance(begin(listing), end(listing)));
    }
};

} // namespace

TEST_F(IndexCache, RoundTripKeepsOddPathsExactlyAndInOrderForItsScopeOnly) {
    const Paths paths = {"/home/alice/b.txt",
                         "/home/alice/line\nbreak.txt",
                         std::string("/home/alice/\xff\xfe-not-utf8\x80"),
                         "/" + std::string(5000, 'x') + "/" + std::string(300, 'y'),
                         "/",
                         "/home/alice/b.txt",
                         "/home/alice/a.txt"};
    for (const Paths &saved : {paths, Paths{}, small}) {
        ASSERT_TRUE(saveIndexCache(file, signature, saved));
        EXPECT_EQ(loadIndexCache(file, signature), saved);
    }
    for (const std::string &other :
         {std::string("fedcba9876543210"), std::string(), signature + "\n"})
        EXPECT_EQ(loadIndexCache(file, other), std::nullopt) << other;
}

// The checksum is FNV-1a over everything before it: every step is a bijection of the state, so
// any one changed byte before it changes the sum, and the sum itself must be exactly 16
// lowercase hex digits and a newline. No damaged file may load, not even as the original; nor
// may the stamp records beside it.
TEST_F(IndexCache, NoChangedByteTruncationOrTrailingGarbageLoads) {
    ASSERT_TRUE(saveIndexCache(file, signature, small));
    expectNoDamageLoads([&] { return loadIndexCache(file, signature).has_value(); });
    ASSERT_TRUE(saveStampRecords(file, {{"/tmp/n\nl", {2049, 42, "2027-12-31", "Kelo"}}}));
    expectNoDamageLoads([&] { return loadStampRecords(file).has_value(); });
}

TEST_F(IndexCache, MissingEmptyNonRegularOrOversizedFileIsNoCache) {
    // A FIFO must not hang the load waiting for a writer.
    const Path fifo = folder.path() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const Path &none : {file, Path(), folder.path(), fifo})
        EXPECT_EQ(loadIndexCache(none, signature), std::nullopt) << none;
    writeFile(file, "");
    EXPECT_EQ(loadIndexCache(file, signature), std::nullopt);
    std::filesystem::resize_file(file, 64 * 1024 * 1024 + 1);
    EXPECT_EQ(loadIndexCache(file, signature), std::nullopt);
}

TEST_F(IndexCache, CorrectlySealedButMalformedContentIsNoCache) {
    const std::string head = "kelo-tag-index 1\n" + signature + "\n";
    const std::string two = std::string("/a") + '\0' + "/b" + '\0', a = std::string("/a") + '\0';
    writeFile(file, sealed(head + "2\n" + two));
    ASSERT_EQ(loadIndexCache(file, signature), (Paths{"/a", "/b"}));

    for (const std::string &body :
         {"kelo-tag-index 2\n" + signature + "\n2\n" + two,
          "kelo-tag-index 1 \n" + signature + "\n2\n" + two,
          "Kelo-tag-index 1\n" + signature + "\n2\n" + two, head + "3\n" + two, head + "1\n" + two,
          head + "02\n" + two, head + "+2\n" + two, head + "2 \n" + two, head + "\n" + two,
          head + "18446744073709551617\n" + two, head + "2\n" + two + "x",
          head + "2\n" + a + "b" + '\0', head + "2\n" + a + '\0', head + "2\n" + a + "/b",
          head + "2" + two, head.substr(0, head.size() - 1)}) {
        writeFile(file, sealed(body));
        EXPECT_EQ(loadIndexCache(file, signature), std::nullopt) << body;
    }

    // Well formed, but more paths than any real cache holds: refused before any is handed on.
    std::string flood;
    for (size_t i = 0; i < maximumIndexCacheEntries; ++i)
        flood.append("/\0", 2);
    const std::atomic<bool> never = false;
    for (const size_t count : {maximumIndexCacheEntries + 1, maximumIndexCacheEntries}) {
        size_t visited = 0;
        writeFile(file, sealed(head + std::to_string(count) + "\n" + flood +
                               (count > maximumIndexCacheEntries ? "/\0" : "")));
        EXPECT_EQ(visitIndexCache(
                      file, signature, [&](std::string_view) { ++visited; }, never),
                  count == maximumIndexCacheEntries);
        EXPECT_EQ(visited, count > maximumIndexCacheEntries ? 0 : count);
    }

    // The checksum in capitals is not the checksum.
    std::string upper = sealed(head + "2\n" + two);
    std::transform(upper.end() - 17, upper.end(), upper.end() - 17,
                   [](char c) { return static_cast<char>(std::toupper(c)); });
    ASSERT_NE(upper, sealed(head + "2\n" + two));
    writeFile(file, upper);
    EXPECT_EQ(loadIndexCache(file, signature), std::nullopt);
}

TEST_F(IndexCache, SaveMakesMissingFoldersPrivatelyReplacesTheOldFileOrFailsLeavingNothing) {
    const Path deep = folder.path() / "cache" / "kelo" / "tag-index";
    ASSERT_TRUE(saveIndexCache(deep, signature, small));
    EXPECT_EQ(loadIndexCache(deep, signature), small);
    for (const Path &created : {folder.path() / "cache", deep.parent_path(), deep}) {
        struct stat info {};
        ASSERT_EQ(::stat(created.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 077, 0u) << created;
    }
    // Temporary files left by a process that died do not stand in the way.
    for (const char *stale : {"tag-index.tmp", "tag-index.tmp-XXXXXX", "tag-index.tmp-a1b2c3"})
        writeFile(deep.parent_path() / stale, "half");
    ASSERT_TRUE(saveIndexCache(deep, "another", {"/c"}));
    EXPECT_EQ(loadIndexCache(deep, signature), std::nullopt);
    EXPECT_EQ(loadIndexCache(deep, "another"), Paths{"/c"});
    std::filesystem::remove_all(folder.path() / "cache");

    const Path blocker = folder.file("not-a-folder");
    // The file's place taken by a folder: the temporary file is written, the rename fails.
    std::filesystem::create_directory(file);
    for (const Path &nowhere :
         {blocker / "tag-index", blocker / "sub" / "tag-index", file, Path(), folder.path() / ""})
        EXPECT_FALSE(saveIndexCache(nowhere, signature, small)) << nowhere;
    EXPECT_EQ(files(), 2u);
    EXPECT_EQ(contentOf(blocker), "data");
    EXPECT_TRUE(std::filesystem::is_empty(file));
}

TEST_F(IndexCache, SaveRefusesWhatCouldNotBeLoadedBackAndKeepsTheOldFile) {
    ASSERT_TRUE(saveIndexCache(file, signature, small));
    const std::string before = contentOf(file);
    // More than the loader accepts: 64 MiB, or more paths than the most.
    const Paths huge(65, Path("/" + std::string(1024 * 1024, 'h')));
    for (const Paths &paths :
         {Paths{"/a", "relative"}, Paths{"/a", ""}, Paths{std::string("/a\0b", 4)}, huge,
          Paths(maximumIndexCacheEntries + 1, Path("/"))})
        EXPECT_FALSE(saveIndexCache(file, signature, paths));
    for (const std::string &odd : {std::string("two\nlines"), std::string("nul\0", 4)})
        EXPECT_FALSE(saveIndexCache(file, odd, {"/a"}));
    EXPECT_EQ(contentOf(file), before);
    EXPECT_EQ(files(), 1u);
}

TEST(DefaultIndexCacheFile, LiesInKelosCacheFolder) {
    const ScopedEnvironment cache("XDG_CACHE_HOME", "/var/cache/alice");
    EXPECT_EQ(defaultIndexCacheFile(), Path("/var/cache/alice/kelo/tag-index"));
}

// The stamp records beside the cache: back as they were, with the time they were written.
TEST_F(IndexCache, StampRecordsComeBackExactlyOrNotAtAll) {
    const std::unordered_map<std::string, StampRecord> records = {
        {"/home/a b/verslag.odt", {2049, 1234567, "2026-03-01", "Werk,Kelo,Project X"}},
        {"/tmp/n\nl", {2049, 42, "2027-12-31", ""}},
    };
    const Path recordsFile = stampRecordsFile(file);
    EXPECT_EQ(recordsFile.filename(), "tag-index.stamps");
    const auto before = std::chrono::system_clock::now() - std::chrono::seconds(1);
    ASSERT_TRUE(saveStampRecords(recordsFile, records));
    const auto loaded = loadStampRecords(recordsFile);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->records, records);
    EXPECT_GE(loaded->written, before);
    EXPECT_LE(loaded->written, std::chrono::system_clock::now());
    // A record without a stamp is no record.
    EXPECT_FALSE(saveStampRecords(recordsFile, {{"/a", {1, 2, "", "Kelo"}}}));
    EXPECT_FALSE(loadStampRecords(folder.path() / "missing"));
}
