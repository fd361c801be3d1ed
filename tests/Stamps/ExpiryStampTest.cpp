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

// The raw value of an attribute, or none.
std::optional<std::string> attribute(const std::filesystem::path &file, const char *name) {
    char buffer[4096];
    const ssize_t size = ::getxattr(file.c_str(), name, buffer, sizeof buffer);
    if (size < 0)
        return std::nullopt;
    return std::string(buffer, static_cast<size_t>(size));
}

void setAttribute(const std::filesystem::path &file, const char *name, std::string_view value) {
    ASSERT_EQ(::setxattr(file.c_str(), name, value.data(), value.size(), 0), 0) << strerror(errno);
}

class ExpiryStampTest : public ::testing::Test {
protected:
    TemporaryFolder folder;
    std::filesystem::path file = folder.file("rapport.pdf");
    Calendar calendar = Calendar::forZone("Europe/Amsterdam");
    Instant fifthOfDecember = calendar.parseStampText("2026-12-05").value();
};

} // namespace

TEST_F(ExpiryStampTest, WriteStoresTenBytesAddsTheTagOnceAndKeepsEverythingElse) {
    ASSERT_FALSE(writeStamp(fifthOfDecember + hours(23), file, calendar));
    EXPECT_EQ(attribute(file, stampAttributeName), "2026-12-05");
    EXPECT_EQ(attribute(file, tagListAttributeName), "Kelo");
    EXPECT_EQ(readStamp(file, calendar), fifthOfDecember);
    EXPECT_EQ(readTagNames(file).value(), std::vector<std::string>{"Kelo"});
    // The same bytes read in another zone give that zone's midnight.
    EXPECT_EQ(readStamp(file, Calendar::forZone("Asia/Tokyo")),
              Instant(sys_days(2026y / 12 / 4) + hours(15)));

    for (const std::string tags : {"Werk,\xff\xfe,,kelo,KELO ,Kelo2", "A,Kelo,B"}) {
        setAttribute(file, tagListAttributeName, tags);
        setAttribute(file, "user.other", "keep me");
        const std::string expected = tags.ends_with("Kelo2") ? tags + ",Kelo" : tags;
        ASSERT_FALSE(writeStamp(fifthOfDecember, file, calendar));
        EXPECT_EQ(attribute(file, tagListAttributeName), expected);
        EXPECT_EQ(attribute(file, "user.other"), "keep me");
        // A second write replaces the date and leaves the tag list alone.
        ASSERT_FALSE(writeStamp(fifthOfDecember + days(3), file, calendar));
        EXPECT_EQ(attribute(file, stampAttributeName), "2026-12-08");
        EXPECT_EQ(attribute(file, tagListAttributeName), expected);
    }
    // Through a symbolic link, the file itself is stamped.
    const auto link = folder.path() / "link";
    std::filesystem::create_symlink(file, link);
    ASSERT_FALSE(writeStamp(fifthOfDecember, link, calendar));
    EXPECT_EQ(readStamp(file, calendar), fifthOfDecember);
}

TEST_F(ExpiryStampTest, EveryBadValueReadsAsNoStamp) {
    EXPECT_FALSE(readStamp(file, calendar)) << "no attribute";
    EXPECT_FALSE(readStamp(folder.path() / "missing", calendar)) << "no file";
    for (std::string bad : {std::string(), std::string("morgen"), std::string("2026-12-05\0", 11),
                            std::string("2026-12-5"), std::string("\xff\xfe-12-05\xc3"),
                            std::string(64, '1'), "2026-12-05" + std::string(55, ' ')}) {
        setAttribute(file, stampAttributeName, bad);
        EXPECT_FALSE(readStamp(file, calendar)) << '"' << bad << '"';
    }
    setAttribute(file, stampAttributeName, std::string(65, '2'));
    EXPECT_FALSE(readStamp(file, calendar)) << "65 bytes";
}

TEST_F(ExpiryStampTest, ClearRemovesEveryKeloEntryAndNothingElse) {
    // Each: the tag list before and after; the date goes wherever there was one.
    const std::array<const char *, 3> cases[] = {{"A,Kelo,B,Kelo,kelo", "A,B,kelo", "date"},
                                                 {"Kelo", nullptr, "date"},   // no tags left
                                                 {"A,,B", "A,,B", nullptr},   // nothing written
                                                 {"Kelo", nullptr, nullptr}}; // tagged by hand
    for (const auto &[before, after, date] : cases) {
        SCOPED_TRACE(before);
        setAttribute(file, tagListAttributeName, before);
        setAttribute(file, "user.other", "keep me");
        if (date)
            setAttribute(file, stampAttributeName, "2026-12-05");
        ASSERT_FALSE(clearStamp(file));
        EXPECT_FALSE(attribute(file, stampAttributeName));
        EXPECT_FALSE(readStamp(file, calendar));
        EXPECT_EQ(attribute(file, tagListAttributeName),
                  after ? std::optional<std::string>(after) : std::nullopt);
        EXPECT_EQ(attribute(file, "user.other"), "keep me");
    }
    EXPECT_TRUE(readTagNames(file).value().empty());
}

TEST_F(ExpiryStampTest, FailuresOnAMissingFileAreReported) {
    const auto missing = folder.path() / "missing";
    const auto written = writeStamp(fifthOfDecember, missing, calendar);
    ASSERT_TRUE(written);
    EXPECT_EQ(written->code, ENOENT);
    EXPECT_FALSE(written->description.empty());
    const auto cleared = clearStamp(missing);
    ASSERT_TRUE(cleared);
    EXPECT_EQ(cleared->code, ENOENT);
    EXPECT_EQ(readTagNames(missing).error().code, ENOENT);
    // Unknown codes become EIO.
    EXPECT_EQ(Error::fromErrno(ENOSPC).code, ENOSPC);
    for (int unknown : {0, 100000, -3})
        EXPECT_EQ(Error::fromErrno(unknown).code, EIO) << unknown;
}

TEST_F(ExpiryStampTest, UnchangeableFileReportsErrorsAndKeepsItsStamp) {
    setAttribute(file, tagListAttributeName, "A,Kelo");
    setAttribute(file, stampAttributeName, "2026-12-05");
    {
        const UnchangeableFile locked(file);
        if (!locked.ok())
            GTEST_SKIP() << "cannot make a file unchangeable here";

        const auto written = writeStamp(fifthOfDecember + days(7), file, calendar);
        ASSERT_TRUE(written);
        EXPECT_TRUE(written->code == EPERM || written->code == EACCES) << written->code;

        // Keeping the file forever must not report success while the stamp stays.
        const auto cleared = clearStamp(file);
        ASSERT_TRUE(cleared);
        EXPECT_TRUE(cleared->code == EPERM || cleared->code == EACCES) << cleared->code;
    }
    EXPECT_EQ(attribute(file, stampAttributeName), "2026-12-05");
    EXPECT_EQ(attribute(file, tagListAttributeName), "A,Kelo");
}
