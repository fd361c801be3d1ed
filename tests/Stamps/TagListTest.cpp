#include "TagList.h"

#include <gtest/gtest.h>

using namespace kelo;
using Names = std::vector<std::string>;

// Names are read byte for byte, in order, without empty ones; only the exact name counts. Adding
// appends the name; removing drops every occurrence and nothing else, and no empty list is left.
TEST(TagList, ParsingAddingAndRemovingAreExact) {
    EXPECT_EQ(parseTagList("\xff,,B, C,B"), (Names{"\xff", "B", " C", "B"}));
    EXPECT_TRUE(tagListContains("A,Kelo", "Kelo"));
    EXPECT_FALSE(tagListContains("kelo,KELO,Kelo ,Kelo2,XKelo", "Kelo"));
    EXPECT_EQ(tagListAdding("A,", "Kelo"), "A,Kelo");
    EXPECT_EQ(tagListRemoving("A,,B,Kelo", "Kelo"), "A,,B");
    EXPECT_EQ(tagListRemoving(",Kelo,", "Kelo"), "");
}
