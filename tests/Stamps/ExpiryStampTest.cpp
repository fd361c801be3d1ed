#include "ExpiryStamp.h"
#include "TagList.h"
#include "TemporaryFolder.h"
#include "UnchangeableFile.h"

#include <cerrno>
#include <sys/xattr.h>

#include <gtest/gtest.h>

using namespace kelo;
using namespace std::chrono;

namespace {

class ExpiryStampTest : public ::testing::Test {
protected:
    TemporaryFolder folder;
    std::filesystem::path file = folder.file("rapport.pdf");
    Calendar calendar = Calendar::forZone("Europe/Amsterdam");
    Instant fifthOfDecember = calendar.parseStampText("2026-12-05").value();

    // The raw value of an attribute, or none.
    std::optional<std::string> get(const char *name) const {
        char buffer[4096];
        const ssize_t size = ::getxattr(file.c_str(), name, buffer, sizeof buffer);
        return size < 0 ? std::nullopt : std::optional(std::string(buffer, size_t(size)));
    }
    void set(const char *name, std::string_view value) {
        ASSERT_EQ(::setxattr(file.c_str(), name, value.data(), value.size(), 0), 0) << errno;
    }
};

} // namespace

TEST_F(ExpiryStampTest, WriteStoresTenBytesAddsTheTagOnceAndKeepsEverythingElse) {
    ASSERT_FALSE(writeStamp(fifthOfDecember + hours(23), file, calendar));
    EXPECT_EQ(get(stampAttributeName), "2026-12-05");
    EXPECT_EQ(get(tagListAttributeName), "Kelo");
    EXPECT_EQ(readStamp(file, calendar), fifthOfDecember);
    // Names that only look like the tag are other tags; a second write leaves the list alone.
    const std::string tags = "Werk,\xff\xfe,kelo,Kelo2";
    set(tagListAttributeName, tags);
    set("user.other", "keep me");
    for (const int later : {0, 3})
        ASSERT_FALSE(writeStamp(fifthOfDecember + days(later), file, calendar));
    EXPECT_EQ(get(stampAttributeName), "2026-12-08");
    EXPECT_EQ(get(tagListAttributeName), tags + ",Kelo");
    EXPECT_EQ(get("user.other"), "keep me");
    // Through a symbolic link, the file itself is stamped.
    std::filesystem::create_symlink(file, folder.path() / "link");
    ASSERT_FALSE(writeStamp(fifthOfDecember, folder.path() / "link", calendar));
    EXPECT_EQ(readStamp(file, calendar), fifthOfDecember);
}

TEST_F(ExpiryStampTest, EveryBadValueReadsAsNoStamp) {
    EXPECT_FALSE(readStamp(file, calendar)) << "no attribute";
    for (std::string bad : {std::string("2026-12-05\0", 11), std::string("\xff\xfe-12-05\xc3"),
                            std::string(65, '2'), std::string("2026-04-31")}) {
        set(stampAttributeName, bad);
        EXPECT_FALSE(readStamp(file, calendar)) << '"' << bad << '"' << bad.size();
    }
}

TEST_F(ExpiryStampTest, ClearRemovesEveryKeloEntryAndNothingElse) {
    set(tagListAttributeName, "A,Kelo,B,Kelo,kelo");
    set(stampAttributeName, "2026-12-05");
    set("user.other", "keep me");
    ASSERT_FALSE(clearStamp(file));
    EXPECT_FALSE(get(stampAttributeName));
    EXPECT_EQ(get(tagListAttributeName), "A,B,kelo");
    EXPECT_EQ(get("user.other"), "keep me");
    // Tagged by hand, without a date: no list is left behind, not even an empty one.
    set(tagListAttributeName, "Kelo");
    ASSERT_FALSE(clearStamp(file));
    EXPECT_FALSE(get(tagListAttributeName));
}

TEST_F(ExpiryStampTest, FailuresAreReportedAndAnUnchangeableFileKeepsItsStamp) {
    const auto missing = folder.path() / "missing";
    EXPECT_EQ(writeStamp(fifthOfDecember, missing, calendar).value().code, ENOENT);
    EXPECT_EQ(clearStamp(missing).value().code, ENOENT);
    set(tagListAttributeName, "A,Kelo");
    set(stampAttributeName, "2026-12-05");
    {
        const UnchangeableFile locked(file);
        if (!locked.ok())
            GTEST_SKIP() << "cannot make a file unchangeable here";
        // Keeping the file forever must not report success while the stamp stays.
        for (const auto &error :
             {writeStamp(fifthOfDecember + days(7), file, calendar), clearStamp(file)})
            EXPECT_TRUE(error && (error->code == EPERM || error->code == EACCES));
    }
    EXPECT_EQ(get(stampAttributeName), "2026-12-05");
    EXPECT_EQ(get(tagListAttributeName), "A,Kelo");
}
