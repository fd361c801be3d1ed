#include "IndexCache.h"

#include "TemporaryFolder.h"

#include <fstream>
#include <iterator>

#include <sys/stat.h>

#include <gtest/gtest.h>

using namespace kelo;
using Path = std::filesystem::path;
using Paths = std::vector<std::string>;

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
};

} // namespace

TEST_F(IndexCache, RoundTripKeepsOddPathsExactlyAndInOrderForItsScopeOnly) {
    const Paths paths = {"/home/alice/line\nbreak.txt",
                         std::string("/home/\xff\xfe-not-utf8\x80"),
                         "/" + std::string(5000, 'x'),
                         "/b.txt",
                         "/b.txt",
                         "/a.txt"};
    for (const Paths &saved : {paths, Paths{}}) {
        ASSERT_TRUE(saveIndexCache(file, signature, saved));
        EXPECT_EQ(loadIndexCache(file, signature), saved);
    }
    EXPECT_EQ(loadIndexCache(file, "fedcba9876543210"), std::nullopt);
}

TEST_F(IndexCache, ADamagedOrOversizedFileDoesNotLoad) {
    ASSERT_TRUE(saveIndexCache(file, signature, small));
    const std::string original = contentOf(file);
    std::string flipped = original;
    flipped[original.size() / 2] ^= 1;
    for (const std::string &damaged :
         {flipped, original.substr(0, original.size() - 2), original + '\0'}) {
        writeFile(file, damaged);
        EXPECT_EQ(loadIndexCache(file, signature), std::nullopt) << damaged.size();
    }
    // Larger than any cache may be.
    std::filesystem::resize_file(file, 64 * 1024 * 1024 + 1);
    EXPECT_EQ(loadIndexCache(file, signature), std::nullopt);
}

TEST_F(IndexCache, SaveMakesFoldersPrivatelyOrFailsLeavingTheOldFileAndNothingElse) {
    const Path deep = folder.path() / "cache/kelo/tag-index";
    ASSERT_TRUE(saveIndexCache(deep, signature, small));
    struct stat info {};
    ASSERT_EQ(::stat((folder.path() / "cache").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 077, 0u);
    // Temporary files left by a process that died do not stand in the way.
    writeFile(deep.parent_path() / "tag-index.tmp", "half");
    ASSERT_TRUE(saveIndexCache(deep, signature, {"/c"}));
    std::filesystem::remove_all(folder.path() / "cache");

    ASSERT_TRUE(saveIndexCache(file, signature, small));
    const std::string before = contentOf(file);
    // A relative path, more than the loader accepts, or nowhere to write.
    for (const Paths &paths : {Paths{"/a", "relative"}, Paths(65, "/" + std::string(1 << 20, 'h'))})
        EXPECT_FALSE(saveIndexCache(file, signature, paths));
    EXPECT_FALSE(saveIndexCache(folder.file("not-a-folder") / "tag-index", signature, small));
    EXPECT_EQ(contentOf(file), before);
    const auto listing = std::filesystem::directory_iterator(folder.path());
    EXPECT_EQ(std::distance(begin(listing), end(listing)), 2);
}
