#include "TagList.h"

#include <gtest/gtest.h>

using namespace kelo;
using Names = std::vector<std::string>;

// Names are read byte for byte, in order, without empty ones; only the exact name counts.
TEST(TagList, ParsingAndContainsAreExact) {
    EXPECT_EQ(parseTagList(",,"), Names{});
    EXPECT_EQ(parseTagList("B,,A,B, C"), (Names{"B", "A", "B", " C"}));
    EXPECT_EQ(parseTagList("\xff,Kelo"), (Names{"\xff", "Kelo"}));
    EXPECT_TRUE(tagListContains("A,Kelo", "Kelo"));
    EXPECT_FALSE(tagListContains("kelo,KELO,Kelo ,Kelo2,XKelo", "Kelo"));
    EXPECT_FALSE(tagListContains("", "Kelo"));
}

// Adding appends the name as the last entry; removing drops every occurrence and nothing else,
// leaving no list of empty names.
TEST(TagList, AddingAppendsAndRemovingDropsEveryOccurrenceOnly) {
    EXPECT_EQ(tagListAdding("", "Kelo"), "Kelo");
    EXPECT_EQ(tagListAdding("A,B", "Kelo"), "A,B,Kelo");
    EXPECT_EQ(tagListAdding("A,", "Kelo"), "A,Kelo");
    EXPECT_EQ(tagListRemoving("A,Kelo,B,Kelo", "Kelo"), "A,B");
    EXPECT_EQ(tagListRemoving("Kelo,kelo,Kelo", "Kelo"), "kelo");
    EXPECT_EQ(tagListRemoving("A,,B,Kelo", "Kelo"), "A,,B");
    EXPECT_EQ(tagListRemoving(",Kelo,", "Kelo"), "");
    EXPECT_EQ(tagListRemoving("A,B", "Kelo"), "A,B");
}
