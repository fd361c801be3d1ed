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

class IndexCache : public ::testing::Test {
protected:
    TemporaryFolder folder;
    Path file = folder.path() / "tag-index";
    Paths small = {"/home/a b/x.txt", "/tmp/n\nl"};

    // A changed byte at the start, in a path and in the checksum, a cut, or trailing garbage
    // leaves `file` unloadable.
    void expectNoDamageLoads(const std::function<bool()> &loads) {
        const std::string original = contentOf(file);
        ASSERT_TRUE(loads());
        for (const size_t position : {size_t(0), original.size() / 2, original.size() - 2}) {
            std::string damaged = original;
            damaged[position] = static_cast<char>(damaged[position] ^ 1);
            writeFile(file, damaged);
            EXPECT_FALSE(loads()) << "byte " << position;
            writeFile(file, original.substr(0, position + 1));
            EXPECT_FALSE(loads()) << "length " << position + 1;
        }
        writeFile(file, original + '\0');
        EXPECT_FALSE(loads());
    }
};

} // namespace

TEST_F(IndexCache, RoundTripKeepsOddPathsExactlyAndInOrderForItsScopeOnly) {
    const Paths paths = {"/home/alice/line\nbreak.txt",
                         std::string("/home/\xff\xfe-not-utf8\x80"),
                         "/" + std::string(5000, 'x'),
                         "/",
                         "/b.txt",
                         "/b.txt",
                         "/a.txt"};
    for (const Paths &saved : {paths, Paths{}}) {
        ASSERT_TRUE(saveIndexCache(file, signature, saved));
        EXPECT_EQ(loadIndexCache(file, signature), saved);
    }
    EXPECT_EQ(loadIndexCache(file, "fedcba9876543210"), std::nullopt);
}

TEST_F(IndexCache, NoChangedByteTruncationOrTrailingGarbageLoads) {
    ASSERT_TRUE(saveIndexCache(file, signature, small));
    expectNoDamageLoads([&] { return loadIndexCache(file, signature).has_value(); });
    ASSERT_TRUE(saveStampRecords(file, {{"/tmp/n\nl", {2049, 42, "2027-12-31", "Kelo"}}}));
    expectNoDamageLoads([&] { return loadStampRecords(file).has_value(); });
}

TEST_F(IndexCache, AFifoOrAnOversizedFileIsNoCache) {
    // A FIFO must not hang the load waiting for a writer.
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    EXPECT_EQ(loadIndexCache(file, signature), std::nullopt);
    std::filesystem::remove(file);
    writeFile(file, "");
    std::filesystem::resize_file(file, 64 * 1024 * 1024 + 1);
    EXPECT_EQ(loadIndexCache(file, signature), std::nullopt);
}

TEST_F(IndexCache, CorrectlySealedButMalformedContentIsNoCache) {
    const std::string head = "kelo-tag-index 1\n" + signature + "\n";
    const auto sealed = [](const std::string &body) {
        return body + hexDigits(fnv1a(body)) + "\n";
    };
    const std::string two = std::string("/a\0/b\0", 6);
    for (const std::string &body : {head + "3\n" + two, head + "18446744073709551617\n" + two,
                                    head + "2\n" + std::string("/a\0b\0", 5)}) {
        writeFile(file, sealed(body));
        EXPECT_EQ(loadIndexCache(file, signature), std::nullopt) << body;
    }
    // More paths than any real cache holds: refused before any is handed on.
    std::string flood;
    for (size_t i = 0; i <= maximumIndexCacheEntries; ++i)
        flood.append("/\0", 2);
    writeFile(file, sealed(head + std::to_string(maximumIndexCacheEntries + 1) + "\n" + flood));
    size_t visited = 0;
    const std::atomic<bool> never = false;
    EXPECT_FALSE(visitIndexCache(
        file, signature, [&](std::string_view) { ++visited; }, never));
    EXPECT_EQ(visited, 0u);
}

TEST_F(IndexCache, SaveMakesFoldersPrivatelyOrFailsLeavingTheOldFileAndNothingElse) {
    const Path deep = folder.path() / "cache/kelo/tag-index";
    ASSERT_TRUE(saveIndexCache(deep, "another", {"/c"}));
    struct stat info {};
    ASSERT_EQ(::stat((folder.path() / "cache").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 077, 0u);
    ASSERT_EQ(::stat(deep.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 077, 0u);
    // Temporary files left by a process that died do not stand in the way.
    writeFile(deep.parent_path() / "tag-index.tmp", "half");
    ASSERT_TRUE(saveIndexCache(deep, signature, small));
    EXPECT_EQ(loadIndexCache(deep, signature), small);
    std::filesystem::remove_all(folder.path() / "cache");

    ASSERT_TRUE(saveIndexCache(file, signature, small));
    const std::string before = contentOf(file);
    // More than the loader accepts, a relative path, or nowhere to write.
    for (const Paths &paths : {Paths{"/a", "relative"}, Paths(65, "/" + std::string(1 << 20, 'h'))})
        EXPECT_FALSE(saveIndexCache(file, signature, paths));
    EXPECT_FALSE(saveIndexCache(folder.file("not-a-folder") / "tag-index", signature, small));
    EXPECT_EQ(contentOf(file), before);
    const auto listing = std::filesystem::directory_iterator(folder.path());
    EXPECT_EQ(std::distance(begin(listing), end(listing)), 2);
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
}
