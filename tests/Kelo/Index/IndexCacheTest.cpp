#include "IndexCache.h"

#include "ScopedEnvironment.h"
#include "TemporaryFolder.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>

#include <sys/stat.h>
#include <unistd.h>

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

std::vector<std::string> namesIn(const Path &folder) {
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A cache file's body with its checksum line, written out here to reach the checks behind it.
std::string sealed(const std::string &body) {
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (const char c : body) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3u;
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return body + hex + "\n";
}

class IndexCache : public ::testing::Test {
protected:
    TemporaryFolder folder;
    Path file = folder.path() / "tag-index";
    // A few small paths: the byte-by-byte tests go over every position of this file.
    Paths small = {"/home/a b/x.txt", "/tmp/n\nl"};
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
    ASSERT_TRUE(saveIndexCache(file, signature, paths));
    EXPECT_EQ(loadIndexCache(file, signature), paths);
    ASSERT_TRUE(saveIndexCache(file, signature, {}));
    EXPECT_EQ(loadIndexCache(file, signature), Paths{});

    ASSERT_TRUE(saveIndexCache(file, signature, small));
    for (const std::string &other :
         {std::string("fedcba9876543210"), std::string(), signature + "\n"})
        EXPECT_EQ(loadIndexCache(file, other), std::nullopt) << other;
    EXPECT_EQ(loadIndexCache(file, signature), small);
}

// The checksum is FNV-1a over everything before it: every step is a bijection of the state, so
// any one changed byte before it changes the sum, and the sum itself must be exactly 16
// lowercase hex digits and a newline. No damaged file may load, not even as the original.
TEST_F(IndexCache, NoChangedByteTruncationOrTrailingGarbageLoads) {
    ASSERT_TRUE(saveIndexCache(file, signature, small));
    const std::string original = contentOf(file);
    ASSERT_EQ(loadIndexCache(file, signature), small);
    for (size_t position = 0; position < original.size(); ++position) {
        for (int change = 1; change < 256; ++change) {
            std::string damaged = original;
            damaged[position] = static_cast<char>(static_cast<unsigned char>(damaged[position]) ^
                                                  static_cast<unsigned char>(change));
            writeFile(file, damaged);
            ASSERT_EQ(loadIndexCache(file, signature), std::nullopt)
                << "byte " << position << " xor " << change;
        }
    }
    for (size_t length = 0; length < original.size(); ++length) {
        writeFile(file, original.substr(0, length));
        ASSERT_EQ(loadIndexCache(file, signature), std::nullopt) << "length " << length;
    }
    for (const std::string &garbage : {std::string("\n"), std::string(1, '\0'), std::string("x"),
                                       original, original.substr(original.size() - 17)}) {
        writeFile(file, original + garbage);
        EXPECT_EQ(loadIndexCache(file, signature), std::nullopt) << garbage;
    }
}

TEST_F(IndexCache, MissingEmptyNonRegularOrOversizedFileIsNoCache) {
    EXPECT_EQ(loadIndexCache(file, signature), std::nullopt);
    EXPECT_EQ(loadIndexCache(Path(), signature), std::nullopt);
    EXPECT_EQ(loadIndexCache(folder.path(), signature), std::nullopt);
    // A FIFO must not hang the load waiting for a writer.
    const Path fifo = folder.path() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(loadIndexCache(fifo, signature), std::nullopt);
    writeFile(file, "");
    EXPECT_EQ(loadIndexCache(file, signature), std::nullopt);
    std::filesystem::resize_file(file, 64 * 1024 * 1024 + 1);
    EXPECT_EQ(loadIndexCache(file, signature), std::nullopt);
}

TEST_F(IndexCache, CorrectlySealedButMalformedContentIsNoCache) {
    const std::string head = "kelo-tag-index 1\n" + signature + "\n";
    const std::string twoPaths = std::string("/a") + '\0' + "/b" + '\0';
    writeFile(file, sealed(head + "2\n" + twoPaths));
    ASSERT_EQ(loadIndexCache(file, signature), (Paths{"/a", "/b"}));

    for (const std::string &body : {
             "kelo-tag-index 2\n" + signature + "\n2\n" + twoPaths,
             "kelo-tag-index 1 \n" + signature + "\n2\n" + twoPaths,
             "Kelo-tag-index 1\n" + signature + "\n2\n" + twoPaths,
             head + "3\n" + twoPaths,
             head + "1\n" + twoPaths,
             head + "02\n" + twoPaths,
             head + "+2\n" + twoPaths,
             head + "2 \n" + twoPaths,
             head + "\n" + twoPaths,
             head + "18446744073709551617\n" + twoPaths,
             head + "2\n" + twoPaths + "x",
             head + "2\n" + std::string("/a") + '\0' + "b" + '\0',
             head + "2\n" + std::string("/a") + '\0' + '\0',
             head + "2\n" + std::string("/a") + '\0' + "/b",
             head + "2" + twoPaths,
             head.substr(0, head.size() - 1),
         }) {
        writeFile(file, sealed(body));
        EXPECT_EQ(loadIndexCache(file, signature), std::nullopt) << body;
    }

    // Well formed, but more paths than any real cache holds: refused before any is handed on.
    std::string flood;
    for (size_t i = 0; i <= maximumIndexCacheEntries; ++i)
        flood.append("/\0", 2);
    const std::atomic<bool> never = false;
    size_t visited = 0;
    const auto count = [&](std::string_view) { ++visited; };
    writeFile(file, sealed(head + std::to_string(maximumIndexCacheEntries + 1) + "\n" + flood));
    EXPECT_FALSE(visitIndexCache(file, signature, count, never));
    EXPECT_EQ(visited, 0u);
    flood.resize(flood.size() - 2);
    writeFile(file, sealed(head + std::to_string(maximumIndexCacheEntries) + "\n" + flood));
    EXPECT_TRUE(visitIndexCache(file, signature, count, never));
    EXPECT_EQ(visited, maximumIndexCacheEntries);

    // The checksum in capitals is not the checksum.
    std::string upper = sealed(head + "2\n" + twoPaths);
    std::transform(upper.end() - 17, upper.end(), upper.end() - 17,
                   [](char c) { return static_cast<char>(std::toupper(c)); });
    ASSERT_NE(upper, sealed(head + "2\n" + twoPaths));
    writeFile(file, upper);
    EXPECT_EQ(loadIndexCache(file, signature), std::nullopt);
}

TEST_F(IndexCache, SaveCreatesMissingFoldersPrivatelyAndReplacesTheOldFile) {
    const Path deep = folder.path() / "cache" / "kelo" / "tag-index";
    ASSERT_TRUE(saveIndexCache(deep, signature, small));
    EXPECT_EQ(loadIndexCache(deep, signature), small);
    for (const Path &created : {folder.path() / "cache", folder.path() / "cache" / "kelo", deep}) {
        struct stat info {};
        ASSERT_EQ(::stat(created.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 077, 0u) << created;
    }
    ASSERT_TRUE(saveIndexCache(deep, "another", {"/c"}));
    EXPECT_EQ(loadIndexCache(deep, signature), std::nullopt);
    EXPECT_EQ(loadIndexCache(deep, "another"), Paths{"/c"});
    EXPECT_EQ(namesIn(deep.parent_path()), std::vector<std::string>{"tag-index"});
}

TEST_F(IndexCache, SaveFailsWhereNothingCanBeWrittenAndLeavesNothingBehind) {
    const Path blocker = folder.file("not-a-folder");
    EXPECT_FALSE(saveIndexCache(blocker / "tag-index", signature, small));
    EXPECT_FALSE(saveIndexCache(blocker / "sub" / "tag-index", signature, small));
    // The file's place is taken by a folder: the temporary file is written, the rename fails.
    std::filesystem::create_directory(file);
    EXPECT_FALSE(saveIndexCache(file, signature, small));
    EXPECT_FALSE(saveIndexCache(Path(), signature, small));
    EXPECT_FALSE(saveIndexCache(folder.path() / "", signature, small));
    EXPECT_EQ(namesIn(folder.path()), (std::vector<std::string>{"not-a-folder", "tag-index"}));
    EXPECT_EQ(contentOf(blocker), "data");
    EXPECT_TRUE(std::filesystem::is_empty(file));
}

TEST_F(IndexCache, SaveRefusesWhatCouldNotBeLoadedBackAndKeepsTheOldFile) {
    ASSERT_TRUE(saveIndexCache(file, signature, small));
    const std::string before = contentOf(file);
    EXPECT_FALSE(saveIndexCache(file, signature, {"/a", "relative"}));
    EXPECT_FALSE(saveIndexCache(file, signature, {"/a", ""}));
    EXPECT_FALSE(saveIndexCache(file, signature, {std::string("/a\0b", 4)}));
    EXPECT_FALSE(saveIndexCache(file, "two\nlines", {"/a"}));
    EXPECT_FALSE(saveIndexCache(file, std::string("nul\0", 4), {"/a"}));
    // More than the loader accepts (64 MiB).
    const Paths huge(65, Path("/" + std::string(1024 * 1024, 'h')));
    EXPECT_FALSE(saveIndexCache(file, signature, huge));
    EXPECT_FALSE(saveIndexCache(file, signature, Paths(maximumIndexCacheEntries + 1, Path("/"))));
    EXPECT_EQ(contentOf(file), before);
    EXPECT_EQ(namesIn(folder.path()), std::vector<std::string>{"tag-index"});
}

TEST(DefaultIndexCacheFile, FollowsAnAbsoluteXdgCacheHomeElseHome) {
    const ScopedEnvironment home("HOME", "/home/alice");
    {
        const ScopedEnvironment cache("XDG_CACHE_HOME", "/var/cache/alice");
        EXPECT_EQ(defaultIndexCacheFile(), Path("/var/cache/alice/kelo/tag-index"));
    }
    for (const char *ignored : {static_cast<const char *>(nullptr), "", "relative/cache"}) {
        const ScopedEnvironment cache("XDG_CACHE_HOME", ignored);
        EXPECT_EQ(defaultIndexCacheFile(), Path("/home/alice/.cache/kelo/tag-index"));
    }
}

// The stamp records beside the cache: back byte for byte, or not at all.
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

    const std::string content = contentOf(recordsFile);
    for (size_t at = 0; at < content.size(); ++at) {
        std::string damaged = content;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x20);
        std::ofstream(recordsFile, std::ios::binary | std::ios::trunc) << damaged;
        EXPECT_FALSE(loadStampRecords(recordsFile)) << "byte " << at;
        std::ofstream(recordsFile, std::ios::binary | std::ios::trunc) << content.substr(0, at);
        EXPECT_FALSE(loadStampRecords(recordsFile)) << "cut at " << at;
    }
    // A record without a stamp is no record.
    EXPECT_FALSE(saveStampRecords(recordsFile, {{"/a", {1, 2, "", "Kelo"}}}));
    EXPECT_FALSE(loadStampRecords(folder.path() / "missing"));
}
